#include "shelf/SearchFolding.h"

#include <unicode/ubrk.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <QVarLengthArray>
#include <cstring>

static_assert(sizeof(UChar) == sizeof(char16_t));

namespace {

const UChar* asUChars(QStringView text)
{
    return reinterpret_cast<const UChar*>(text.utf16());
}

// One grapheme break iterator per thread, opened once: opening one compiles rules and is costly,
// re-pointing it at a text is cheap.
UBreakIterator* characterIterator()
{
    struct Holder {
        UBreakIterator* it = nullptr;
        Holder()
        {
            UErrorCode err = U_ZERO_ERROR;
            it = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &err);
            if (U_FAILURE(err)) it = nullptr;
        }
        ~Holder()
        {
            if (it) ubrk_close(it);
        }
    };
    thread_local Holder holder;
    return holder.it;
}

using UBuffer = QVarLengthArray<UChar, 256>;

// Runs an ICU string transform that may need a larger buffer on a second try.
template <typename F>
bool transform(const UChar* src, int32_t length, UBuffer& out, F&& f)
{
    out.resize(length + length / 4 + 4);
    UErrorCode err = U_ZERO_ERROR;
    int32_t n = f(out.data(), int32_t(out.size()), src, length, &err);
    if (err == U_BUFFER_OVERFLOW_ERROR) {
        out.resize(n);
        err = U_ZERO_ERROR;
        n = f(out.data(), int32_t(out.size()), src, length, &err);
    }
    if (U_FAILURE(err)) return false;
    out.resize(n);
    return true;
}

// Composes (NFC) in place; text that is already composed is left alone without copying.
void compose(UBuffer& text)
{
    UErrorCode err = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&err);
    if (U_FAILURE(err)) return;
    const int32_t span = unorm2_spanQuickCheckYes(nfc, text.data(), int32_t(text.size()), &err);
    if (U_FAILURE(err) || span == text.size()) return;
    UBuffer composed;
    const bool ok = transform(text.data(), int32_t(text.size()), composed,
                              [nfc](UChar* d, int32_t cap, const UChar* s, int32_t len, UErrorCode* e) {
                                  return unorm2_normalize(nfc, s, len, d, cap, e);
                              });
    if (ok) text = composed;
}

bool graphemeBoundaryAt(const UChar* text, int32_t length, int32_t index)
{
    if (index <= 0 || index >= length) return true;
    UBreakIterator* it = characterIterator();
    if (!it) return true;
    UErrorCode err = U_ZERO_ERROR;
    ubrk_setText(it, text, length, &err);
    if (U_FAILURE(err)) return true;
    return ubrk_isBoundary(it, index);
}

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

void SearchFolding::appendLowered(QStringView text, std::string& out)
{
    // Most text is ASCII, where lower-casing is A-Z alone and the text is already composed.
    const size_t start = out.size();
    out.resize(start + size_t(text.size()));
    char* dst = out.data() + start;
    const char16_t* src = text.utf16();
    qsizetype i = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = src[i];
        if (c >= 0x80) break;
        dst[i] = char(c >= u'A' && c <= u'Z' ? c + 32 : c);
    }
    if (i == text.size()) return;
    out.resize(start);

    UBuffer lowered;
    if (!transform(asUChars(text), int32_t(text.size()), lowered,
                   [](UChar* d, int32_t cap, const UChar* s, int32_t len, UErrorCode* e) {
                       return u_strToLower(d, cap, s, len, "", e);
                   }))
        lowered = UBuffer(asUChars(text), asUChars(text) + text.size());
    compose(lowered);

    int32_t needed = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strToUTF8WithSub(nullptr, 0, &needed, lowered.data(), int32_t(lowered.size()), 0xFFFD, nullptr, &err);
    out.resize(start + size_t(needed));
    err = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data() + start, needed, &needed, lowered.data(), int32_t(lowered.size()), 0xFFFD, nullptr,
                       &err);
    if (U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING) out.resize(start);
}

std::string SearchFolding::lowered(QStringView text)
{
    std::string out;
    appendLowered(text, out);
    return out;
}

bool SearchFolding::isCharacterBoundary(std::string_view text, size_t pos)
{
    if (pos == 0 || pos >= text.size()) return true;
    const auto before = static_cast<unsigned char>(text[pos - 1]);
    const auto at = static_cast<unsigned char>(text[pos]);
    // Between two ASCII characters only CR LF holds together.
    if (before < 0x80 && at < 0x80) return !(before == '\r' && at == '\n');

    // Otherwise ask the grapheme rules about a small window around pos: enough code points before it
    // for the rules that look back (emoji sequences, flag pairs), a few after it.
    size_t from = pos;
    for (int n = 0; from > 0 && n < 32;) {
        --from;
        if (!isContinuationByte(text[from])) ++n;
    }
    size_t to = pos;
    for (int n = 0; to < text.size() && n < 4; ++n) {
        ++to;
        while (to < text.size() && isContinuationByte(text[to])) ++to;
    }
    UChar window[160];
    int32_t lead = 0, tail = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strFromUTF8WithSub(window, 128, &lead, text.data() + from, int32_t(pos - from), 0xFFFD, nullptr, &err);
    if (U_FAILURE(err)) return true;
    err = U_ZERO_ERROR;
    u_strFromUTF8WithSub(window + lead, 32, &tail, text.data() + pos, int32_t(to - pos), 0xFFFD, nullptr, &err);
    if (U_FAILURE(err)) return true;
    return graphemeBoundaryAt(window, lead + tail, lead);
}

bool SearchFolding::contains(std::string_view haystack, std::string_view needle)
{
    if (needle.empty()) return true;
    const char* base = haystack.data();
    size_t from = 0;
    while (from + needle.size() <= haystack.size()) {
        const void* hit = memmem(base + from, haystack.size() - from, needle.data(), needle.size());
        if (!hit) return false;
        const size_t pos = size_t(static_cast<const char*>(hit) - base);
        if (isCharacterBoundary(haystack, pos) && isCharacterBoundary(haystack, pos + needle.size())) return true;
        // The next candidate starts at the next code point.
        from = pos + 1;
        while (from < haystack.size() && isContinuationByte(haystack[from])) ++from;
    }
    return false;
}

QVector<qsizetype> SearchFolding::characterBoundaries(QStringView text)
{
    QVector<qsizetype> bounds;
    bounds.reserve(text.size() + 1);
    bounds.push_back(0);
    if (text.isEmpty()) return bounds;
    UBreakIterator* it = characterIterator();
    UErrorCode err = U_ZERO_ERROR;
    if (it) ubrk_setText(it, asUChars(text), int32_t(text.size()), &err);
    if (!it || U_FAILURE(err)) {
        // Without the rules, fall back to code points so that no surrogate pair is ever split.
        for (qsizetype i = 1; i < text.size(); ++i)
            if (!QChar::isLowSurrogate(text[i].unicode()) || !QChar::isHighSurrogate(text[i - 1].unicode()))
                bounds.push_back(i);
        bounds.push_back(text.size());
        return bounds;
    }
    ubrk_first(it);
    for (int32_t b = ubrk_next(it); b != UBRK_DONE; b = ubrk_next(it)) bounds.push_back(b);
    if (bounds.back() != text.size()) bounds.push_back(text.size());
    return bounds;
}

namespace {

void appendCaseFolded(QStringView piece, QString& out)
{
    if (piece.size() == 1 && piece[0].unicode() < 0x80) {
        const char16_t c = piece[0].unicode();
        out.append(QChar(c >= u'A' && c <= u'Z' ? c + 32 : c));
        return;
    }
    UBuffer folded;
    if (!transform(asUChars(piece), int32_t(piece.size()), folded,
                   [](UChar* d, int32_t cap, const UChar* s, int32_t len, UErrorCode* e) {
                       return u_strFoldCase(d, cap, s, len, U_FOLD_CASE_DEFAULT, e);
                   }))
        folded = UBuffer(asUChars(piece), asUChars(piece) + piece.size());
    compose(folded);
    out.append(reinterpret_cast<const QChar*>(folded.data()), folded.size());
}

}  // namespace

SearchFolding::CaseFolded SearchFolding::caseFolded(QStringView text, const QVector<qsizetype>& boundaries)
{
    CaseFolded result;
    result.folded.reserve(text.size());
    result.characterStarts.reserve(boundaries.size());
    for (qsizetype i = 0; i + 1 < boundaries.size(); ++i) {
        result.characterStarts.push_back(result.folded.size());
        appendCaseFolded(text.mid(boundaries[i], boundaries[i + 1] - boundaries[i]), result.folded);
    }
    result.characterStarts.push_back(result.folded.size());
    return result;
}

QString SearchFolding::caseFoldedQuery(QStringView query)
{
    QString out;
    const QVector<qsizetype> bounds = characterBoundaries(query);
    for (qsizetype i = 0; i + 1 < bounds.size(); ++i)
        appendCaseFolded(query.mid(bounds[i], bounds[i + 1] - bounds[i]), out);
    return out;
}

std::pair<qsizetype, qsizetype> SearchFolding::findCharacters(const CaseFolded& text, const QString& foldedQuery)
{
    if (foldedQuery.isEmpty()) return {-1, -1};
    // Character index starting at each folded offset, -1 inside a character.
    QVector<qsizetype> characterAt(text.folded.size() + 1, -1);
    for (qsizetype c = 0; c < text.characterStarts.size(); ++c) characterAt[text.characterStarts[c]] = c;

    qsizetype from = 0;
    while (true) {
        const qsizetype pos = text.folded.indexOf(foldedQuery, from);
        if (pos < 0) return {-1, -1};
        const qsizetype first = characterAt[pos];
        const qsizetype end = characterAt[pos + foldedQuery.size()];
        if (first >= 0 && end >= 0) return {first, end};
        from = pos + 1;
    }
}
