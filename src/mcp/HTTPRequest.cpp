#include "mcp/HTTPRequest.h"

#include <algorithm>

#include "mcp/HTTPRequestParser.h"

QString HTTPRequest::path() const
{
    for (const QString& piece : target.split(QLatin1Char('?'), Qt::SkipEmptyParts)) return piece;
    return target;
}

std::optional<QString> HTTPRequest::header(const QString& lowerCaseName) const
{
    const auto it = headers.constFind(lowerCaseName);
    if (it == headers.constEnd()) return std::nullopt;
    return it.value();
}

std::optional<HTTPRequest> HTTPRequest::parse(const QByteArray& data)
{
    // The caller decides how much it reads; here only a request that claims more than it holds fails.
    HTTPRequestParser parser(std::max(data.size(), HTTPRequestParser::kDefaultMaxBytes));
    if (parser.feed(data) != HTTPRequestParser::State::Complete) return std::nullopt;
    return parser.request();
}
