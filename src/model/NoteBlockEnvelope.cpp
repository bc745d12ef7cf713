#include "model/NoteBlockEnvelope.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Thrown inside the reader only; decode() turns it into Error::corrupt.
struct Unreadable {};

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

QString uuidText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

// The standard 36-character form only (8-4-4-4-12 hex digits, either case); no braces, no URN.
QUuid readUuid(const QJsonValue& v)
{
    if (!v.isString()) throw Unreadable{};
    const QString s = v.toString();
    if (s.size() != 36) throw Unreadable{};
    for (int i = 0; i < 36; ++i) {
        const QChar c = s[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != u'-') throw Unreadable{};
        } else if (!isHexDigit(c)) {
            throw Unreadable{};
        }
    }
    return QUuid::fromString(s);
}

// A JSON number that is exactly an integer. "1.0" and "1e2" are integers written another way (the
// number's text form is not part of the format); "1.5" is not.
std::optional<qint64> exactInteger(const QJsonValue& v)
{
    if (!v.isDouble()) return std::nullopt;
    const qint64 a = v.toInteger(0);
    const qint64 b = v.toInteger(1);
    if (a != b) return std::nullopt;
    return a;
}

qint64 readInteger(const QJsonValue& v)
{
    const auto n = exactInteger(v);
    if (!n) throw Unreadable{};
    return *n;
}

QString readString(const QJsonValue& v)
{
    if (!v.isString()) throw Unreadable{};
    return v.toString();
}

// Absent and null both mean "not set"; any other type than the expected one is unreadable.
std::optional<bool> readOptionalBool(const QJsonObject& o, QLatin1String key)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull()) return std::nullopt;
    if (!v.isBool()) throw Unreadable{};
    return v.toBool();
}

std::optional<double> readOptionalDouble(const QJsonObject& o, QLatin1String key)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull()) return std::nullopt;
    if (!v.isDouble()) throw Unreadable{};
    return v.toDouble();
}

std::optional<QString> readOptionalString(const QJsonObject& o, QLatin1String key)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull()) return std::nullopt;
    return readString(v);
}

TextRuns::Run readRun(const QJsonValue& value)
{
    if (!value.isObject()) throw Unreadable{};
    const QJsonObject o = value.toObject();
    TextRuns::Run run;
    run.loc = readInteger(o.value(QLatin1String("loc")));
    run.len = readInteger(o.value(QLatin1String("len")));
    run.b = readOptionalBool(o, QLatin1String("b"));
    run.i = readOptionalBool(o, QLatin1String("i"));
    run.u = readOptionalBool(o, QLatin1String("u"));
    run.s = readOptionalBool(o, QLatin1String("s"));
    run.size = readOptionalDouble(o, QLatin1String("size"));
    run.family = readOptionalString(o, QLatin1String("family"));
    run.fg = readOptionalString(o, QLatin1String("fg"));
    run.bg = readOptionalString(o, QLatin1String("bg"));
    run.link = readOptionalString(o, QLatin1String("link"));
    return run;
}

// The first key present decides: "preset", then "fraction", then "fit" (whose value is not looked at).
ImageSizing readSizing(const QJsonValue& value)
{
    if (!value.isObject()) throw Unreadable{};
    const QJsonObject o = value.toObject();
    if (o.contains(QLatin1String("preset"))) {
        const auto preset = ImageSizing::Preset::fromRawValue(readString(o.value(QLatin1String("preset"))));
        if (!preset) throw Unreadable{};
        return ImageSizing::makePreset(*preset);
    }
    if (o.contains(QLatin1String("fraction"))) {
        const QJsonValue f = o.value(QLatin1String("fraction"));
        if (!f.isDouble()) throw Unreadable{};
        return ImageSizing::makeFraction(f.toDouble());
    }
    if (o.contains(QLatin1String("fit"))) return ImageSizing::makeFit();
    // An image sizing is one of fit, preset or fraction.
    throw Unreadable{};
}

NoteBlock readBlock(const QJsonValue& value)
{
    if (!value.isObject()) throw Unreadable{};
    const QJsonObject o = value.toObject();
    const QUuid id = readUuid(o.value(QLatin1String("id")));
    const QString type = readString(o.value(QLatin1String("type")));
    if (type == QLatin1String("image")) {
        ImagePlacement placement;
        placement.imageID = readUuid(o.value(QLatin1String("image")));
        placement.sizing = readSizing(o.value(QLatin1String("sizing")));
        return NoteBlock::image(placement, id);
    }
    if (type == QLatin1String("text")) {
        TextRuns runs;
        runs.text = readString(o.value(QLatin1String("text")));
        const QJsonValue list = o.value(QLatin1String("runs"));
        if (!list.isUndefined() && !list.isNull()) {
            if (!list.isArray()) throw Unreadable{};
            const QJsonArray array = list.toArray();
            runs.runs.reserve(array.size());
            for (const QJsonValue& r : array) runs.runs.push_back(readRun(r));
        }
        return NoteBlock::text(runs, id);
    }
    throw Unreadable{};
}

std::optional<QJsonObject> writeRun(const TextRuns::Run& run)
{
    QJsonObject o;
    o.insert(QLatin1String("loc"), QJsonValue(run.loc));
    o.insert(QLatin1String("len"), QJsonValue(run.len));
    if (run.b) o.insert(QLatin1String("b"), *run.b);
    if (run.i) o.insert(QLatin1String("i"), *run.i);
    if (run.u) o.insert(QLatin1String("u"), *run.u);
    if (run.s) o.insert(QLatin1String("s"), *run.s);
    if (run.size) {
        if (!std::isfinite(*run.size)) return std::nullopt;
        o.insert(QLatin1String("size"), *run.size);
    }
    if (run.family) o.insert(QLatin1String("family"), *run.family);
    if (run.fg) o.insert(QLatin1String("fg"), *run.fg);
    if (run.bg) o.insert(QLatin1String("bg"), *run.bg);
    if (run.link) o.insert(QLatin1String("link"), *run.link);
    return o;
}

std::optional<QJsonObject> writeSizing(const ImageSizing& sizing)
{
    QJsonObject o;
    switch (sizing.kind()) {
        case ImageSizing::Kind::preset:
            o.insert(QLatin1String("preset"), sizing.preset().rawValue());
            break;
        case ImageSizing::Kind::fraction:
            if (!std::isfinite(sizing.fraction())) return std::nullopt;
            o.insert(QLatin1String("fraction"), sizing.fraction());
            break;
        case ImageSizing::Kind::fit:
            o.insert(QLatin1String("fit"), QJsonObject());
            break;
    }
    return o;
}

// A long text is not handed to the JSON writer, which would copy it into its own document and then
// escape it into the output: the block holds a short stand-in, and the text is escaped once, straight
// into the output, in place of it (see encode()).
constexpr qsizetype kSplicedText = 4096;

// Whether every surrogate in the text is half of a pair: JSON writes a lone one as an escape, which
// only the JSON writer is left to do.
bool pairedSurrogatesOnly(const QString& text)
{
    const char16_t* p = reinterpret_cast<const char16_t*>(text.constData());
    const char16_t* const end = p + text.size();
    for (; p != end; ++p) {
        if (*p < 0xD800 || *p > 0xDFFF) continue;
        if (*p > 0xDBFF || p + 1 == end || p[1] < 0xDC00 || p[1] > 0xDFFF) return false;
        ++p;
    }
    return true;
}

// Appends the text as the body of a JSON string, escaped as QJsonDocument writes it: the short escapes,
// other control characters as \u00xx, everything else as UTF-8. Surrogates come in pairs here.
void appendEscaped(QByteArray& out, const QString& text)
{
    static constexpr char hex[] = "0123456789abcdef";
    const qsizetype start = out.size();
    // Room for the usual case (ASCII, few escapes); grown when the text needs more.
    out.resize(start + text.size() + 16);
    char* base = out.data();
    qsizetype at = start;
    const char16_t* p = reinterpret_cast<const char16_t*>(text.constData());
    const char16_t* const end = p + text.size();
    for (; p != end; ++p) {
        if (out.size() - at < 12) {
            out.resize(out.size() + (end - p) + (out.size() - start) / 8 + 64);
            base = out.data();
        }
        char16_t u = *p;
        if (u < 0x80) {
            if (u >= 0x20 && u != u'"' && u != u'\\') {
                base[at++] = char(u);
                continue;
            }
            base[at++] = '\\';
            switch (u) {
                case u'"':
                    base[at++] = '"';
                    break;
                case u'\\':
                    base[at++] = '\\';
                    break;
                case 0x8:
                    base[at++] = 'b';
                    break;
                case 0xc:
                    base[at++] = 'f';
                    break;
                case 0xa:
                    base[at++] = 'n';
                    break;
                case 0xd:
                    base[at++] = 'r';
                    break;
                case 0x9:
                    base[at++] = 't';
                    break;
                default:
                    base[at++] = 'u';
                    base[at++] = '0';
                    base[at++] = '0';
                    base[at++] = hex[u >> 4];
                    base[at++] = hex[u & 0xf];
            }
        } else if (u < 0x800) {
            base[at++] = char(0xC0 | (u >> 6));
            base[at++] = char(0x80 | (u & 0x3F));
        } else if (u < 0xD800 || u > 0xDFFF) {
            base[at++] = char(0xE0 | (u >> 12));
            base[at++] = char(0x80 | ((u >> 6) & 0x3F));
            base[at++] = char(0x80 | (u & 0x3F));
        } else {
            const char32_t c = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(p[1]) - 0xDC00);
            ++p;
            base[at++] = char(0xF0 | (c >> 18));
            base[at++] = char(0x80 | ((c >> 12) & 0x3F));
            base[at++] = char(0x80 | ((c >> 6) & 0x3F));
            base[at++] = char(0x80 | (c & 0x3F));
        }
    }
    out.resize(at);
}

std::optional<QJsonObject> writeBlock(const NoteBlock& block, QList<const QString*>& spliced)
{
    QJsonObject o;
    o.insert(QLatin1String("id"), uuidText(block.id));
    if (const TextRuns* text = block.textRuns()) {
        QJsonArray runs;
        for (const TextRuns::Run& run : text->runs) {
            const auto r = writeRun(run);
            if (!r) return std::nullopt;
            runs.append(*r);
        }
        o.insert(QLatin1String("type"), QStringLiteral("text"));
        if (text->text.size() >= kSplicedText && pairedSurrogatesOnly(text->text)) {
            o.insert(QLatin1String("text"), QChar(1) + QString::number(spliced.size()));
            spliced.append(&text->text);
        } else {
            o.insert(QLatin1String("text"), text->text);
        }
        o.insert(QLatin1String("runs"), runs);
    } else if (const ImagePlacement* image = block.imagePlacement()) {
        const auto sizing = writeSizing(image->sizing);
        if (!sizing) return std::nullopt;
        o.insert(QLatin1String("type"), QStringLiteral("image"));
        o.insert(QLatin1String("image"), uuidText(image->imageID));
        o.insert(QLatin1String("sizing"), *sizing);
    }
    return o;
}

}  // namespace

Result<QVector<NoteBlock>, NoteBlockEnvelope::Error> NoteBlockEnvelope::decode(const QByteArray& data)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) return Error::corrupt();
    const QJsonObject root = doc.object();

    // First stage: only the version decides whether this build may read the rest.
    Header header;
    if (const auto v = exactInteger(root.value(QLatin1String("version")))) {
        header.version = *v;
    } else {
        return Error::corrupt();
    }
    if (header.version != currentVersion) return Error::newerVersion(header.version);

    // Second stage: every block must read, or nothing does.
    try {
        const QJsonValue blocks = root.value(QLatin1String("blocks"));
        if (!blocks.isArray()) throw Unreadable{};
        Payload payload{header.version, {}};
        const QJsonArray array = blocks.toArray();
        payload.blocks.reserve(array.size());
        for (const QJsonValue& b : array) payload.blocks.push_back(readBlock(b));
        return payload.blocks;
    } catch (const Unreadable&) {
        return Error::corrupt();
    }
}

std::optional<QByteArray> NoteBlockEnvelope::encode(const Payload& payload)
{
    QJsonArray blocks;
    QList<const QString*> spliced;
    for (const NoteBlock& block : payload.blocks) {
        const auto o = writeBlock(block, spliced);
        if (!o) return std::nullopt;
        blocks.append(*o);
    }
    // QJsonObject keeps its keys in ascending order, which is the order the format asks for.
    QJsonObject root;
    root.insert(QLatin1String("version"), QJsonValue(payload.version));
    root.insert(QLatin1String("blocks"), blocks);
    const QByteArray written = QJsonDocument(root).toJson(QJsonDocument::Compact);
    if (spliced.isEmpty()) return written;

    // Each stand-in, in block order, is a "text" member; another string cannot hold one, as its
    // quotes would be escaped.
    qsizetype length = written.size();
    for (const QString* text : std::as_const(spliced)) length += text->size();
    QByteArray out;
    out.reserve(length + length / 16);
    qsizetype from = 0;
    for (qsizetype i = 0; i < spliced.size(); ++i) {
        const QByteArray standIn = "\"text\":\"\\u0001" + QByteArray::number(i) + '"';
        const qsizetype at = written.indexOf(standIn, from);
        if (at < 0) return std::nullopt;
        out.append(written.constData() + from, at - from);
        out.append("\"text\":\"");
        appendEscaped(out, *spliced[i]);
        out.append('"');
        from = at + standIn.size();
    }
    out.append(written.constData() + from, written.size() - from);
    return out;
}

namespace {

// One pass over an envelope in the compact form encode() writes (keys in ascending order, no spaces),
// matching the flattened text against a body as it goes. Every check that decode() makes is made here
// too, or the scan gives up: it may refuse a sound envelope, never accept an unsound one.
class CompactScan {
public:
    // With no body to match, only whether the envelope reads, and its picture ids.
    CompactScan(QByteArrayView data, std::optional<QByteArrayView> body, QVector<QUuid>* images = nullptr)
        : m_p(data.data()),
          m_end(data.data() + data.size()),
          m_matching(body.has_value()),
          m_body(body ? body->data() : nullptr),
          m_bodyEnd(body ? body->data() + body->size() : nullptr),
          m_images(images)
    {
    }

    bool reads()
    {
        if (!literal("{\"blocks\":[")) return false;
        if (!literal("]")) {
            for (bool first = true;; first = false) {
                if (!first && !emit("\n", 1)) return false;
                if (!block()) return false;
                if (literal("]")) break;
                if (!literal(",")) return false;
            }
        }
        return literal(",\"version\":1}") && m_p == m_end && m_body == m_bodyEnd;
    }

private:
    template <size_t N>
    bool literal(const char (&text)[N])
    {
        constexpr size_t n = N - 1;
        if (size_t(m_end - m_p) < n || std::memcmp(m_p, text, n) != 0) return false;
        m_p += n;
        return true;
    }

    // The flattened text must go on with these bytes.
    bool emit(const char* bytes, size_t n)
    {
        if (!m_matching || n == 0) return true;
        if (size_t(m_bodyEnd - m_body) < n || std::memcmp(m_body, bytes, n) != 0) return false;
        m_body += n;
        return true;
    }

    static bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

    // A UUID in its 36-character form, written without escapes.
    bool uuid()
    {
        if (m_end - m_p < 38 || m_p[0] != '"' || m_p[37] != '"') return false;
        for (int i = 0; i < 36; ++i) {
            const char c = m_p[1 + i];
            if ((i == 8 || i == 13 || i == 18 || i == 23) ? c != '-' : !isHex(c)) return false;
        }
        m_p += 38;
        return true;
    }

    // A key of at most 15 lower-case letters, and its colon.
    bool key(char (&name)[16])
    {
        if (m_p >= m_end || *m_p != '"') return false;
        const char* from = ++m_p;
        while (m_p < m_end && *m_p >= 'a' && *m_p <= 'z') ++m_p;
        const size_t n = size_t(m_p - from);
        if (n == 0 || n >= sizeof name || !literal("\":")) return false;
        std::memcpy(name, from, n);
        name[n] = 0;
        return true;
    }

    static bool isNonCharacter(char32_t c) { return (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE; }

    // A string; with `project`, its text is matched against the body. Only well-formed UTF-8 and
    // escapes of whole characters pass; control characters, surrogates and noncharacters give up.
    bool string(bool project)
    {
        if (m_p >= m_end || *m_p != '"') return false;
        ++m_p;
        while (m_p < m_end) {
            // A stretch of characters written as they are is matched in one go.
            const char* from = m_p;
            while (m_p < m_end) {
#if defined(__SSE2__)
                // Sixteen bytes at a time while none is a quote, a backslash, a control character or
                // beyond ASCII (a signed byte below 0x20).
                if (m_end - m_p >= 16) {
                    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_p));
                    const __m128i special = _mm_or_si128(
                        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))),
                        _mm_cmplt_epi8(v, _mm_set1_epi8(0x20)));
                    if (_mm_movemask_epi8(special) == 0) {
                        m_p += 16;
                        continue;
                    }
                }
#endif
                const auto c = static_cast<unsigned char>(*m_p);
                if (c >= 0x80) {
                    const size_t n = sequenceLength();
                    if (n == 0) return false;
                    m_p += n;
                } else if (c >= 0x20 && c != '"' && c != '\\') {
                    ++m_p;
                } else {
                    break;
                }
            }
            if (project && !emit(from, size_t(m_p - from))) return false;
            if (m_p >= m_end) return false;
            const auto c = static_cast<unsigned char>(*m_p);
            if (c == '"') {
                ++m_p;
                return true;
            }
            if (c != '\\') return false;
            char utf8[4];
            size_t n = 0;
            if (!escape(utf8, n)) return false;
            if (project && !emit(utf8, n)) return false;
        }
        return false;
    }

    // The length of the well-formed UTF-8 sequence at m_p, or 0.
    size_t sequenceLength() const
    {
        const auto* u = reinterpret_cast<const unsigned char*>(m_p);
        const size_t left = size_t(m_end - m_p);
        auto tail = [&](size_t i) { return i < left && (u[i] & 0xC0) == 0x80; };
        char32_t c;
        size_t n;
        if (u[0] >= 0xC2 && u[0] <= 0xDF) {
            if (!tail(1)) return 0;
            return 2;
        } else if (u[0] >= 0xE0 && u[0] <= 0xEF) {
            if (!tail(1) || !tail(2)) return 0;
            c = (char32_t(u[0] & 0x0F) << 12) | (char32_t(u[1] & 0x3F) << 6) | char32_t(u[2] & 0x3F);
            if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF)) return 0;
            n = 3;
        } else if (u[0] >= 0xF0 && u[0] <= 0xF4) {
            if (!tail(1) || !tail(2) || !tail(3)) return 0;
            c = (char32_t(u[0] & 0x07) << 18) | (char32_t(u[1] & 0x3F) << 12) | (char32_t(u[2] & 0x3F) << 6) |
                char32_t(u[3] & 0x3F);
            if (c < 0x10000 || c > 0x10FFFF) return 0;
            n = 4;
        } else {
            return 0;
        }
        return isNonCharacter(c) ? 0 : n;
    }

    bool hex4(char32_t& unit)
    {
        if (m_end - m_p < 4) return false;
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = m_p[i];
            if (!isHex(h)) return false;
            unit = unit * 16 + char32_t(h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
        }
        m_p += 4;
        return true;
    }

    // An escape at m_p, as the UTF-8 bytes of the character it stands for.
    bool escape(char (&utf8)[4], size_t& n)
    {
        if (m_end - m_p < 2) return false;
        const char e = m_p[1];
        m_p += 2;
        char32_t c;
        switch (e) {
            case '"':
                c = '"';
                break;
            case '\\':
                c = '\\';
                break;
            case '/':
                c = '/';
                break;
            case 'b':
                c = '\b';
                break;
            case 'f':
                c = '\f';
                break;
            case 'n':
                c = '\n';
                break;
            case 'r':
                c = '\r';
                break;
            case 't':
                c = '\t';
                break;
            case 'u': {
                if (!hex4(c)) return false;
                if (c >= 0xDC00 && c <= 0xDFFF) return false;
                if (c >= 0xD800 && c <= 0xDBFF) {
                    char32_t low;
                    if (!literal("\\u") || !hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                }
                if (isNonCharacter(c)) return false;
                break;
            }
            default:
                return false;
        }
        if (c < 0x80) {
            utf8[0] = char(c);
            n = 1;
        } else if (c < 0x800) {
            utf8[0] = char(0xC0 | (c >> 6));
            utf8[1] = char(0x80 | (c & 0x3F));
            n = 2;
        } else if (c < 0x10000) {
            utf8[0] = char(0xE0 | (c >> 12));
            utf8[1] = char(0x80 | ((c >> 6) & 0x3F));
            utf8[2] = char(0x80 | (c & 0x3F));
            n = 3;
        } else {
            utf8[0] = char(0xF0 | (c >> 18));
            utf8[1] = char(0x80 | ((c >> 12) & 0x3F));
            utf8[2] = char(0x80 | ((c >> 6) & 0x3F));
            utf8[3] = char(0x80 | (c & 0x3F));
            n = 4;
        }
        return true;
    }

    bool digits(int most)
    {
        const char* from = m_p;
        while (m_p < m_end && *m_p >= '0' && *m_p <= '9') ++m_p;
        return m_p > from && m_p - from <= most;
    }

    // An integer small enough to be exact in a double, with no leading zero.
    bool integer()
    {
        if (m_p < m_end && *m_p == '-') ++m_p;
        if (m_p < m_end && *m_p == '0') {
            ++m_p;
            return m_p >= m_end || *m_p < '0' || *m_p > '9';
        }
        return digits(15);
    }

    // A finite number of modest size and exponent.
    bool number()
    {
        if (!integer()) return false;
        if (m_p < m_end && *m_p == '.') {
            ++m_p;
            if (!digits(20)) return false;
        }
        if (m_p < m_end && (*m_p == 'e' || *m_p == 'E')) {
            ++m_p;
            if (m_p < m_end && (*m_p == '+' || *m_p == '-')) ++m_p;
            if (!digits(2)) return false;
        }
        return true;
    }

    bool boolean()
    {
        return literal("true") || literal("false");
    }

    // One run: known keys in ascending order, each of the type decode() asks for; loc and len present.
    bool run()
    {
        if (!literal("{")) return false;
        char last[16] = "";
        bool loc = false, len = false;
        if (literal("}")) return false;
        for (;;) {
            char name[16];
            if (!key(name) || std::strcmp(last, name) >= 0) return false;
            std::memcpy(last, name, sizeof last);
            const QLatin1StringView k(name);
            bool ok;
            if (k == "loc" || k == "len") {
                ok = integer();
                (k == "loc" ? loc : len) = true;
            } else if (k == "b" || k == "i" || k == "u" || k == "s") {
                ok = literal("null") || boolean();
            } else if (k == "size") {
                ok = literal("null") || number();
            } else if (k == "family" || k == "fg" || k == "bg" || k == "link") {
                ok = literal("null") || string(false);
            } else {
                return false;
            }
            if (!ok) return false;
            if (literal("}")) return loc && len;
            if (!literal(",")) return false;
        }
    }

    // Exactly one of the three kinds of sizing.
    bool sizing()
    {
        if (literal("{\"fit\":{}}")) return true;
        if (literal("{\"fraction\":")) return number() && literal("}");
        return literal("{\"preset\":\"small\"}") || literal("{\"preset\":\"medium\"}") ||
               literal("{\"preset\":\"large\"}");
    }

    bool block()
    {
        if (!literal("{\"id\":") || !uuid() || !literal(",")) return false;
        if (literal("\"image\":")) {
            static const QByteArray placeholder = NoteBlock::imagePlaceholder.toUtf8();
            if (m_images && m_end - m_p >= 38) m_images->append(QUuid::fromString(QLatin1StringView(m_p + 1, 36)));
            return uuid() && literal(",\"sizing\":") && sizing() && literal(",\"type\":\"image\"}") &&
                   emit(placeholder.constData(), size_t(placeholder.size()));
        }
        if (!literal("\"runs\":[")) return false;
        if (!literal("]")) {
            do {
                if (!run()) return false;
            } while (literal(","));
            if (!literal("]")) return false;
        }
        return literal(",\"text\":") && string(true) && literal(",\"type\":\"text\"}");
    }

    const char* m_p;
    const char* m_end;
    bool m_matching;
    const char* m_body;
    const char* m_bodyEnd;
    QVector<QUuid>* m_images;
};

}  // namespace

bool NoteBlockEnvelope::projectsExactly(QByteArrayView data, QByteArrayView body)
{
    // Very large envelopes are left to the full reader and its own limits.
    if (data.size() > 16 * 1024 * 1024) return false;
    return CompactScan(data, body).reads();
}

std::optional<QVector<QUuid>> NoteBlockEnvelope::pictureIDs(QByteArrayView data)
{
    if (data.size() > 16 * 1024 * 1024) return std::nullopt;
    QVector<QUuid> ids;
    if (!CompactScan(data, std::nullopt, &ids).reads()) return std::nullopt;
    return ids;
}
