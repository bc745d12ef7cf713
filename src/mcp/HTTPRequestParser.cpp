#include "mcp/HTTPRequestParser.h"

#include <QStringDecoder>
#include <algorithm>
#include <limits>

namespace {

const QByteArray kBlankLine("\r\n\r\n");

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString trimSpacesAndTabs(QStringView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isBlank(s[begin])) ++begin;
    while (end > begin && isBlank(s[end - 1])) --end;
    return s.mid(begin, end - begin).toString();
}

// A length is decimal digits that fit; anything else (a sign, an empty value, letters, a list, an
// overflow) is refused rather than guessed at.
std::optional<qint64> parseContentLength(QStringView digits)
{
    if (digits.isEmpty()) return std::nullopt;
    qint64 n = 0;
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        const int d = c.unicode() - '0';
        if (n > (std::numeric_limits<qint64>::max() - d) / 10) return std::nullopt;
        n = n * 10 + d;
    }
    return n;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Bytes that may not appear inside a header line: a bare CR or LF would end the line for a reader
// less strict than this one.
bool hasLineBreakOrNul(QStringView line)
{
    return std::any_of(line.begin(), line.end(),
                       [](QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0); });
}

}  // namespace

HTTPRequestParser::HTTPRequestParser(qsizetype maxBytes) : m_maxBytes(maxBytes) {}

HTTPRequestParser::State HTTPRequestParser::feed(const char* data, qsizetype size)
{
    if (m_state != State::NeedMore || size <= 0) return m_state;

    if (m_bodyStart >= 0) {
        if (m_framing == Framing::Chunked) {
            m_buffer.append(data, size);
            return m_state = decodeChunks();
        }
        // Only the declared body is kept; bytes after it are not part of this request.
        const qsizetype missing = qsizetype(m_contentLength) - (m_buffer.size() - m_bodyStart);
        m_buffer.append(data, std::min(size, missing));
        return m_state = takeBody();
    }

    m_buffer.append(data, size);
    const qsizetype at = m_buffer.indexOf(kBlankLine, m_scanFrom);
    if (at < 0) {
        // The blank line may straddle the next read: look again at the last three bytes.
        m_scanFrom = std::max<qsizetype>(0, m_buffer.size() - (kBlankLine.size() - 1));
        if (m_buffer.size() > m_maxBytes) m_state = State::TooLarge;
        return m_state;
    }
    m_state = parseHead(at);
    if (m_state != State::NeedMore) return m_state;
    return m_state = m_framing == Framing::Chunked ? decodeChunks() : takeBody();
}

HTTPRequestParser::State HTTPRequestParser::parseHead(qsizetype headEnd)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString head = decoder(QByteArrayView(m_buffer.constData(), headEnd));
    if (decoder.hasError()) return State::Malformed;

    const QList<QStringView> lines = QStringView(head).split(QStringLiteral("\r\n"));
    const QList<QStringView> words = lines.first().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() < 2) return State::Malformed;
    if (hasLineBreakOrNul(lines.first()) || words.size() != 3) return State::BadRequest;
    // HTTP-name "/" DIGIT "." DIGIT; of those only the two versions this reader speaks.
    const QStringView version = words[2];
    const bool wellFormed = version.size() == 8 && version.startsWith(QLatin1String("HTTP/")) && version[5].isDigit() &&
                            version[6] == QLatin1Char('.') && version[7].isDigit();
    if (!wellFormed) return State::BadRequest;
    if (version != QLatin1String("HTTP/1.1") && version != QLatin1String("HTTP/1.0")) return State::VersionNotSupported;

    HTTPRequest request;
    request.method = words[0].toString();
    request.target = words[1].toString();
    request.version = version.toString();
    QList<QStringView> lengths;
    QStringList codings;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringView line = lines[i];
        // A line starting with a blank continues the previous one in the obsolete folded form.
        if (line.isEmpty() || isBlank(line.front()) || hasLineBreakOrNul(line)) return State::BadRequest;
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0) return State::BadRequest;
        const QStringView name = line.left(colon);
        if (std::any_of(name.begin(), name.end(), isBlank)) return State::BadRequest;
        const QString lowerName = name.toString().toLower();
        const QString value = trimSpacesAndTabs(line.mid(colon + 1));
        if (lowerName == QLatin1String("content-length")) lengths.append(line.mid(colon + 1));
        if (lowerName == QLatin1String("transfer-encoding")) codings.append(value);
        if (request.headers.contains(lowerName) && !request.repeated.contains(lowerName))
            request.repeated.append(lowerName);
        request.headers.insert(lowerName, value);
    }

    const qsizetype bodyStart = headEnd + kBlankLine.size();
    if (!lengths.isEmpty() && !codings.isEmpty()) return State::BadRequest;
    if (!codings.isEmpty()) {
        // Only chunked, once and alone: any other coding is one we cannot decode.
        if (codings.size() != 1 || codings.first().compare(QLatin1String("chunked"), Qt::CaseInsensitive) != 0)
            return State::NotImplemented;
        m_framing = Framing::Chunked;
        m_bodyBudget = std::max<qsizetype>(0, m_maxBytes - bodyStart);
    } else if (!lengths.isEmpty()) {
        std::optional<qint64> length;
        for (const QStringView value : lengths) {
            const std::optional<qint64> n = parseContentLength(QStringView(trimSpacesAndTabs(value)));
            if (!n || (length && *length != *n)) return State::BadRequest;
            length = n;
        }
        if (*length > qint64(m_maxBytes) - bodyStart) return State::ContentTooLarge;
        m_framing = Framing::Length;
        m_contentLength = *length;
    }

    m_request = std::move(request);
    // The head is no longer needed; keep only what may belong to the body.
    m_buffer.remove(0, bodyStart);
    m_bodyStart = 0;
    if (m_framing == Framing::Length && m_buffer.size() > m_contentLength)
        m_buffer.truncate(qsizetype(m_contentLength));
    return State::NeedMore;
}

HTTPRequestParser::State HTTPRequestParser::takeBody()
{
    const qsizetype available = m_buffer.size() - m_bodyStart;
    if (m_framing == Framing::UntilHead) {
        // Without a declared length the body is what came with the head.
        m_request.body = m_buffer.mid(m_bodyStart);
    } else {
        if (available < m_contentLength) return State::NeedMore;
        m_request.body = m_buffer.mid(m_bodyStart, qsizetype(m_contentLength));
    }
    m_buffer.clear();
    m_buffer.squeeze();
    return State::Complete;
}

// Decodes what has arrived of a chunked body: size lines in hex (extensions ignored), chunk data
// each followed by CR LF, the last chunk of size 0, then trailer lines (read and dropped) and a
// blank line. Consumed bytes leave the buffer, so only an unfinished line is ever kept.
HTTPRequestParser::State HTTPRequestParser::decodeChunks()
{
    qsizetype pos = 0;
    auto finish = [&](State state) {
        m_wireBytes += pos;
        m_buffer.remove(0, pos);
        // Framing may add to the decoded bytes, but not without bound.
        if (state == State::NeedMore && m_wireBytes > 2 * qint64(m_maxBytes)) return State::TooLarge;
        return state;
    };
    // The next line from pos without its CR LF; none while it has not ended. A line ended by a bare
    // LF is refused.
    auto nextLine = [&](qsizetype limit, State& refusal) -> std::optional<QByteArrayView> {
        const qsizetype lf = m_buffer.indexOf('\n', pos);
        if (lf < 0) {
            if (m_buffer.size() - pos > limit) refusal = State::BadRequest;
            return std::nullopt;
        }
        if (lf == pos || m_buffer[lf - 1] != '\r' || lf - pos - 1 > limit) {
            refusal = State::BadRequest;
            return std::nullopt;
        }
        QByteArrayView line(m_buffer.constData() + pos, lf - 1 - pos);
        pos = lf + 1;
        return line;
    };

    for (;;) {
        const qsizetype available = m_buffer.size() - pos;
        switch (m_chunkStep) {
            case ChunkStep::Size: {
                // The size is judged as soon as its digits arrive: one past the limit is refused at once.
                qint64 size = 0;
                qsizetype digits = 0;
                for (; pos + digits < m_buffer.size(); ++digits) {
                    const int v = hexValue(m_buffer[pos + digits]);
                    if (v < 0) break;
                    size = size * 16 + v;
                    if (size > m_bodyBudget - m_request.body.size()) return finish(State::ContentTooLarge);
                }
                State refusal = State::NeedMore;
                const std::optional<QByteArrayView> line = nextLine(kMaxChunkLineBytes, refusal);
                if (!line) return finish(refusal);
                if (digits == 0) return finish(State::BadRequest);
                // After the digits: nothing, or blanks and then extensions, which are ignored.
                QByteArrayView rest = line->sliced(digits);
                while (!rest.isEmpty() && (rest.front() == ' ' || rest.front() == '\t')) rest = rest.sliced(1);
                if (!rest.isEmpty() && rest.front() != ';') return finish(State::BadRequest);
                if (size == 0) {
                    m_chunkStep = ChunkStep::Trailer;
                } else {
                    m_chunkStep = ChunkStep::Data;
                    m_chunkLeft = size;
                }
                break;
            }
            case ChunkStep::Data: {
                const qsizetype take = qsizetype(std::min<qint64>(available, m_chunkLeft));
                m_request.body.append(m_buffer.constData() + pos, take);
                pos += take;
                m_chunkLeft -= take;
                if (m_chunkLeft > 0) return finish(State::NeedMore);
                m_chunkStep = ChunkStep::DataEnd;
                break;
            }
            case ChunkStep::DataEnd: {
                if (available >= 1 && m_buffer[pos] != '\r') return finish(State::BadRequest);
                if (available >= 2 && m_buffer[pos + 1] != '\n') return finish(State::BadRequest);
                if (available < 2) return finish(State::NeedMore);
                pos += 2;
                m_chunkStep = ChunkStep::Size;
                break;
            }
            case ChunkStep::Trailer: {
                State refusal = State::NeedMore;
                const std::optional<QByteArrayView> line = nextLine(kMaxTrailerBytes - m_trailerBytes, refusal);
                if (!line) return finish(refusal);
                if (line->isEmpty()) {
                    m_buffer.clear();
                    m_buffer.squeeze();
                    return State::Complete;
                }
                m_trailerBytes += line->size() + 2;
                const qsizetype colon = line->indexOf(':');
                if (colon <= 0 || line->front() == ' ' || line->front() == '\t') return finish(State::BadRequest);
                break;
            }
        }
    }
}
