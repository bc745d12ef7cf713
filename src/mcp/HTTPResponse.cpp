#include "mcp/HTTPResponse.h"

namespace {

// Header text must never end a line of its own: a CR or LF smuggled into an echoed value would
// start a header (or a body) of the sender's choosing.
QByteArray headerText(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    bytes.removeIf([](char c) { return c == '\r' || c == '\n' || c == '\0'; });
    return bytes;
}

}  // namespace

QByteArray rawResponse(int status, const QString& reason, const std::optional<QByteArray>& body,
                       const std::optional<QString>& contentType, const HTTPHeaderList& extraHeaders)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + headerText(reason) + "\r\n";
    if (!body) {
        out += "Content-Length: 0\r\n";
    } else {
        out += "Content-Type: " + headerText(contentType.value_or(QStringLiteral("application/json"))) + "\r\n";
        out += "Content-Length: " + QByteArray::number(body->size()) + "\r\n";
    }
    for (const auto& [name, value] : extraHeaders) out += headerText(name) + ": " + headerText(value) + "\r\n";
    out += "Connection: close\r\n\r\n";
    if (body) out += *body;
    return out;
}
