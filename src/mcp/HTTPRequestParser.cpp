#include "mcp/HTTPRequestParser.h"

#include <QStringDecoder>
#include <algorithm>
#include <limits>

namespace {

const QByteArray kBlankLine("\r\n\r\n");

QString trimSpacesAndTabs(QStringView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (begin < end && blank(s[begin])) ++begin;
    while (end > begin && blank(s[end - 1])) --end;
    return s.mid(begin, end - begin).toString();
}

// A length is an optional "+" and decimal digits that fit; anything else (a sign of minus, an empty
// value, letters, an overflow) is refused rather than guessed at.
std::optional<qint64> parseContentLength(const QString& value)
{
    QStringView digits(value);
    if (digits.startsWith(QLatin1Char('+'))) digits = digits.mid(1);
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

}  // namespace

HTTPRequestParser::HTTPRequestParser(qsizetype maxBytes) : m_maxBytes(maxBytes) {}

HTTPRequestParser::State HTTPRequestParser::feed(const char* data, qsizetype size)
{
    if (m_state != State::NeedMore || size <= 0) return m_state;

    if (m_bodyStart >= 0) {
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
    return m_state = takeBody();
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

    HTTPRequest request;
    request.method = words[0].toString();
    request.target = words[1].toString();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(QLatin1Char(':'));
        if (colon < 0) continue;
        request.headers.insert(trimSpacesAndTabs(lines[i].left(colon)).toLower(),
                               trimSpacesAndTabs(lines[i].mid(colon + 1)));
    }

    const qsizetype bodyStart = headEnd + kBlankLine.size();
    const auto declared = request.headers.constFind(QStringLiteral("content-length"));
    if (declared != request.headers.constEnd()) {
        const std::optional<qint64> length = parseContentLength(declared.value());
        if (!length) return State::BadLength;
        if (*length > qint64(m_maxBytes) - bodyStart) return State::TooLarge;
        m_contentLength = *length;
    }

    m_request = std::move(request);
    // The head is no longer needed; keep only what may belong to the body.
    m_buffer.remove(0, bodyStart);
    m_bodyStart = 0;
    if (m_contentLength >= 0 && m_buffer.size() > m_contentLength) m_buffer.truncate(qsizetype(m_contentLength));
    return State::NeedMore;
}

HTTPRequestParser::State HTTPRequestParser::takeBody()
{
    const qsizetype available = m_buffer.size() - m_bodyStart;
    if (m_contentLength < 0) {
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
