#pragma once

// Generated stores shared by the store benchmarks.
#include <QString>
#include <functional>

class ModelContext;

// Generated stores go to a temporary folder, or to $TARNWICK_BENCH_DIR (kept, and reused by later
// runs) to measure another disk or to profile without generating again.
QString benchPath(const QString& name);

// The path of `<name>/default.store`, filled by `fill` (autosave off, saved once afterwards) the first
// time it is asked for in a run unless the file is there already.
QString generatedStore(const QString& name, const std::function<void(ModelContext&)>& fill);

// A store as a long-used one looks: block bodies of about 1 KB with a few accented words, tags, one
// note in a hundred with a picture, one in twenty in the bin (a few of those past their 30 days); with
// `captures`, as many captures of about 1 KB. Made once per size.
QString generatedNoteStore(int count, bool captures = false);
