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
bool isSoundBody(const QByteArray& body, const QByteArray& envelope)
{
    if (NoteBlockEnvelope::projectsExactly(envelope, body)) return true;
    const auto decoded = NoteBlockEnvelope::decode(envelope);
    return decoded && canonicallyEqual(Note::projectedBody(*decoded), QString::fromUtf8(body));
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
    Verdict verdict;
    // Decoding is the costly part: a few helpers share each batch, whose rows are dropped once judged.
    const unsigned helpers = std::clamp(std::thread::hardware_concurrency() / 2, 1u, 3u);
    // Values: locked, body, envelope. A locked row's body and envelope are not read at all.
    auto judgeBatch = [&](std::vector<StoreRowReader::Row>& rows) {
        auto looked = [&](size_t i) { return !rows[i].values[0].toBool() && rows[i].values[2].isValid(); };
        std::vector<char> sound(rows.size(), 1);
        auto judge = [&](size_t from, size_t to) {
            for (size_t i = from; i < to; ++i)
                if (looked(i)) sound[i] = isSoundBody(rows[i].values[1].toByteArray(), rows[i].values[2].toByteArray());
        };
        const size_t chunk = (rows.size() + helpers - 1) / helpers;
        std::vector<std::thread> threads;
        for (size_t from = chunk; from < rows.size(); from += chunk)
            threads.emplace_back(judge, from, std::min(rows.size(), from + chunk));
        judge(0, std::min(rows.size(), chunk));
        for (std::thread& t : threads) t.join();
        for (size_t i = 0; i < rows.size(); ++i) {
            if (!looked(i)) continue;
            verdict.checked.push_back(rows[i].rowID);
            if (!sound[i]) verdict.suspects.insert(rows[i].rowID);
        }
        return true;
    };
    const auto read =
        StoreRowReader::read(path, Note::entityDescription(), {Note::IsLocked, Note::Body, Note::BodyBlocksData}, 4096,
                             judgeBatch, {Note::IsLocked, {Note::Body, Note::BodyBlocksData}}, {Note::Body}, true);
    if (!read) {
        qCWarning(Log::store, "The launch check of note bodies could not read the store (%s); every body is checked",
                  qUtf8Printable(read.error().description()));
        return;
    }
    m_verdict = std::move(verdict);
}
