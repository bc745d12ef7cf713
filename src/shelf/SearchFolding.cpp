#include "shelf/SearchFolding.h"

#include <unicode/ubrk.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <QVarLengthArray>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

namespace {

// Lower-casing gives a capital sigma at the end of a word the final form "ς" and one inside a word "σ":
// "ΟΔΟΣ" would never be found in "ΟΔΟΣΤΡΩΜΑ", nor "οδοσ" in "ΟΔΟΣ". Both forms are one letter to
// search, as case folding has them.
void foldFinalSigma(UBuffer& text)
{
    for (UChar& c : text)
        if (c == 0x03C2) c = 0x03C3;
}

// Lower-cases and composes one piece of text through ICU and writes it as UTF-8 into out at at,
// growing out when needed. Returns the end of what was written.
size_t writeLoweredByIcu(QStringView text, std::string& out, size_t at)
{
    UBuffer lowered;
    if (!transform(asUChars(text), int32_t(text.size()), lowered,
                   [](UChar* d, int32_t cap, const UChar* s, int32_t len, UErrorCode* e) {
                       return u_strToLower(d, cap, s, len, "", e);
                   }))
        lowered = UBuffer(asUChars(text), asUChars(text) + text.size());
    foldFinalSigma(lowered);
    compose(lowered);

    // Three UTF-8 bytes at most per UTF-16 unit.
    const size_t room = size_t(lowered.size()) * 3;
    if (out.size() < at + room) out.resize(at + room);
    int32_t written = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data() + at, int32_t(room), &written, lowered.data(), int32_t(lowered.size()), 0xFFFD,
                       nullptr, &err);
    return U_FAILURE(err) ? at : at + size_t(written);
}

// Lower-cases sixteen UTF-16 units into sixteen bytes when all of them are ASCII; false, having
// written nothing that counts, otherwise.
inline bool lowerAscii16(const char16_t* src, char* dst)
{
#if defined(__SSE2__)
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8));
    const __m128i high = _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi16(short(0xFF80)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF) return false;
    // c - 'A' < 26, unsigned, through a signed comparison with the sign bits flipped.
    const auto lowered = [](__m128i v) {
        const __m128i shifted = _mm_xor_si128(_mm_sub_epi16(v, _mm_set1_epi16('A')), _mm_set1_epi16(short(0x8000)));
        const __m128i upper = _mm_cmplt_epi16(shifted, _mm_set1_epi16(short(26 - 0x8000)));
        return _mm_add_epi16(v, _mm_and_si128(upper, _mm_set1_epi16(32)));
    };
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(lowered(a), lowered(b)));
    return true;
#else
    char16_t any = 0;
    for (int k = 0; k < 16; ++k) any |= src[k];
    if (any >= 0x80) return false;
    for (int k = 0; k < 16; ++k) dst[k] = char(char16_t(src[k] - u'A') < 26 ? src[k] + 32 : src[k]);
    return true;
#endif
}

}  // namespace

void SearchFolding::appendLowered(QStringView text, std::string& out)
{
    // Most text is ASCII, where lower-casing is A-Z alone and the text is already composed: it is
    // written straight through, sixteen units at a time. Around anything else, the word it stands in
    // (from the space or line feed before it to the one after it) goes through ICU. Neither of those is
    // a cased letter nor case-ignorable, nor composes with its neighbours, so doing it word by word
    // gives what doing the whole text at once gives.
    const char16_t* src = text.utf16();
    const qsizetype n = text.size();
    const auto lower = [](char16_t c) { return char(char16_t(c - u'A') < 26 ? c + 32 : c); };
    const auto isBreak = [](char16_t c) { return c == u' ' || c == u'\n'; };
    size_t w = out.size();
    // Invariant: room for one byte per unit still to read.
    out.resize(w + size_t(n));
    char* dst = out.data();
    qsizetype i = 0;
    while (i < n) {
        if (n - i >= 16 && lowerAscii16(src + i, dst + w)) {
            i += 16;
            w += 16;
            continue;
        }
        if (src[i] < 0x80) {
            dst[w++] = lower(src[i++]);
            continue;
        }
        // The word began after the last break before i; what of it was written so far was ASCII, one
        // byte per unit.
        qsizetype from = i;
        while (from > 0 && !isBreak(src[from - 1])) --from;
        qsizetype to = i + 1;
        while (to < n && !isBreak(src[to])) ++to;
        w = writeLoweredByIcu(text.sliced(from, to - from), out, w - size_t(i - from));
        if (out.size() < w + size_t(n - to)) out.resize(w + size_t(n - to));
        dst = out.data();
        i = to;
    }
    out.resize(w);
}

void SearchFolding::appendLoweredUtf8(std::string_view utf8, std::string& out)
{
    // As appendLowered, byte by byte: ASCII is lowered straight through, and the word around anything
    // else (from the space or line feed before it to the one after it, bytes that are never part of a
    // longer sequence) goes through the UTF-16 path, so malformed bytes are replaced as fromUtf8 does.
    //
    // Latin-1 letters (two-byte sequences C2 80 to C3 BF) are lowered in place as well: none of them
    // composes or is case-ignorable, and the capitals C3 80 to C3 9E, but for the sign C3 97, lie 0x20
    // below their small letters. A word that also holds anything else is done again as a whole below,
    // from its start: the Latin-1 part took as many bytes as it gave.
    const char* src = utf8.data();
    const size_t n = utf8.size();
    const auto lower = [](char c) { return char(static_cast<unsigned char>(c - 'A') < 26 ? c + 32 : c); };
    const auto isBreak = [](char c) { return c == ' ' || c == '\n'; };
    size_t w = out.size();
    out.resize(w + n);
    size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        if (n - i >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            if (_mm_movemask_epi8(v) == 0) {
                // c - 'A' < 26, unsigned, through a signed comparison of bytes with their sign bits flipped.
                const __m128i shifted = _mm_xor_si128(_mm_sub_epi8(v, _mm_set1_epi8('A')), _mm_set1_epi8(char(0x80)));
                const __m128i upper = _mm_cmplt_epi8(shifted, _mm_set1_epi8(char(26 - 0x80)));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out.data() + w),
                                 _mm_add_epi8(v, _mm_and_si128(upper, _mm_set1_epi8(32))));
                i += 16;
                w += 16;
                continue;
            }
        }
#endif
        const auto c = static_cast<unsigned char>(src[i]);
        if (c < 0x80) {
            out[w++] = lower(src[i++]);
            continue;
        }
        if ((c == 0xC2 || c == 0xC3) && i + 1 < n && isContinuationByte(src[i + 1])) {
            const auto next = static_cast<unsigned char>(src[i + 1]);
            out[w++] = char(c);
            out[w++] = char(c == 0xC3 && next <= 0x9E && next != 0x97 ? next + 0x20 : next);
            i += 2;
            continue;
        }
        size_t from = i;
        while (from > 0 && !isBreak(src[from - 1])) --from;
        size_t to = i + 1;
        while (to < n && !isBreak(src[to])) ++to;
        // What of the word was written so far took one byte per byte.
        out.resize(w - (i - from));
        QString word = QString::fromUtf8(src + from, qsizetype(to - from));
        // fromUtf8 drops a byte order mark at the start of what it is given; only the text's own start
        // loses one.
        if (from > 0 && std::string_view(src + from, to - from).starts_with("\xEF\xBB\xBF"))
            word.prepend(QChar(0xFEFF));
        appendLowered(word, out);
        w = out.size();
        out.resize(w + (n - to));
        i = to;
    }
    out.resize(w);
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

namespace {

// The first occurrence of needle (not empty) in text at or after from, or npos. Sixteen positions at
// a time, those whose first and last bytes both fit are compared in full: far fewer comparisons than
// a general-purpose search on text made of few distinct letters.
size_t findBytes(std::string_view text, std::string_view needle, size_t from)
{
    const size_t n = needle.size();
    if (from > text.size() || text.size() - from < n) return std::string_view::npos;
    const char* s = text.data();
    if (n == 1) {
        const void* hit = std::memchr(s + from, needle[0], text.size() - from);
        return hit ? size_t(static_cast<const char*>(hit) - s) : std::string_view::npos;
    }
    size_t i = from;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i last = _mm_set1_epi8(needle[n - 1]);
    for (; i + n - 1 + 16 <= text.size(); i += 16) {
        const __m128i blockFirst = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i blockLast = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + n - 1));
        unsigned mask = unsigned(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(first, blockFirst), _mm_cmpeq_epi8(last, blockLast))));
        while (mask) {
            const size_t at = i + size_t(__builtin_ctz(mask));
            if (std::memcmp(s + at + 1, needle.data() + 1, n - 2) == 0) return at;
            mask &= mask - 1;
        }
    }
#endif
    const void* hit = memmem(s + i, text.size() - i, needle.data(), n);
    return hit ? size_t(static_cast<const char*>(hit) - s) : std::string_view::npos;
}

}  // namespace

bool SearchFolding::contains(std::string_view haystack, std::string_view needle)
{
    if (needle.empty()) return true;
    size_t from = 0;
    while (true) {
        const size_t pos = findBytes(haystack, needle, from);
        if (pos == std::string_view::npos) return false;
        if (isCharacterBoundary(haystack, pos) && isCharacterBoundary(haystack, pos + needle.size())) return true;
        // The next candidate starts at the next code point.
        from = pos + 1;
        while (from < haystack.size() && isContinuationByte(haystack[from])) ++from;
    }
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
