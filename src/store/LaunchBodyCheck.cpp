#include "store/LaunchBodyCheck.h"

#include <algorithm>

#include "model/Note.h"
#include "model/NoteBlock.h"
#include "model/NoteBlockEnvelope.h"
#include "platform/Log.h"
#include "platform/StoreRowReader.h"

namespace {
// Whether the envelope decodes, is of a version this build reads, and projects to the body (UTF-8).
// Nearly every envelope is one this build wrote over its own body: the quick scan settles those.
bool isSoundBody(std::string_view body, std::string_view envelope)
{
    const QByteArrayView bodyBytes(body.data(), qsizetype(body.size()));
    const QByteArrayView envelopeBytes(envelope.data(), qsizetype(envelope.size()));
    if (NoteBlockEnvelope::projectsExactly(envelopeBytes, bodyBytes)) return true;
    const auto decoded = NoteBlockEnvelope::decode(envelopeBytes.toByteArray());
    return decoded && canonicallyEqual(Note::projectedBody(*decoded), QString::fromUtf8(bodyBytes));
}
}  // namespace

LaunchBodyCheck::LaunchBodyCheck(const QString& storePath)
{
    if (storePath.isEmpty()) return;
    m_worker = std::thread([this, storePath] { run(storePath); });
}

LaunchBodyCheck::~LaunchBodyCheck()
{
    if (m_worker.joinable()) m_worker.join();
}

bool LaunchBodyCheck::Verdict::isSound(qint64 row, size_t* cursor) const
{
    auto from = checked.begin();
    if (cursor && *cursor < checked.size() && checked[*cursor] <= row) {
        from += qsizetype(*cursor);
        for (int steps = 0; steps < 4 && from != checked.end() && *from < row; ++steps) ++from;
    }
    const auto at = std::lower_bound(from, checked.end(), row);
    if (cursor) *cursor = size_t(at - checked.begin());
    return at != checked.end() && *at == row && !suspects.contains(row);
}

const std::optional<LaunchBodyCheck::Verdict>& LaunchBodyCheck::verdict()
{
    if (m_worker.joinable()) m_worker.join();
    return m_verdict;
}

void LaunchBodyCheck::run(const QString& path)
{
    // Each stretch of rows is judged by its own reader, straight from the file; the stretches' findings
    // are joined in row order.
    const int parts = StoreRowReader::partsForThisMachine();
    std::vector<Verdict> found(static_cast<size_t>(parts));
    // Values: locked, body, envelope. A locked row's body and envelope are not read at all.
    const auto read =
        StoreRowReader::scan(path, Note::entityDescription(), {Note::IsLocked, Note::Body, Note::BodyBlocksData}, parts,
                             [&found](int part, const StoreRowReader::RawRow& row) {
                                 if (row.flag(0) || row.isNull(2)) return;
                                 Verdict& v = found[size_t(part)];
                                 v.checked.push_back(row.rowID());
                                 if (!isSoundBody(row.bytes(1), row.bytes(2))) v.suspects.insert(row.rowID());
                             },
                             {Note::IsLocked, {Note::Body, Note::BodyBlocksData}});
    if (!read) {
        qCWarning(Log::store, "The launch check of note bodies could not read the store (%s); every body is checked",
                  qUtf8Printable(read.error().description()));
        return;
    }
    Verdict verdict;
    for (Verdict& v : found) {
        verdict.checked.insert(verdict.checked.end(), v.checked.begin(), v.checked.end());
        verdict.suspects.merge(v.suspects);
    }
    m_verdict = std::move(verdict);
}
