#pragma once

#include <QByteArray>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <optional>

// One parsed HTTP/1.1 request of the local endpoint.
struct HTTPRequest {
    // The first word of the request line exactly as sent (case matters).
    QString method;
    // The second word of the request line: path and query as sent.
    QString target;
    // The third word of the request line: "HTTP/1.1" or "HTTP/1.0".
    QString version;
    // Names lower-cased and trimmed, values trimmed; a later line of the same name replaces an earlier one.
    QMap<QString, QString> headers;
    // The lower-case names of headers that came more than once.
    QStringList repeated;
    QByteArray body;

    // The target up to its first "?" (empty pieces dropped), or the whole target when that leaves nothing.
    QString path() const;
    // The value of a header by its lower-case name.
    std::optional<QString> header(const QString& lowerCaseName) const;

    // The request held by `data` when it holds a complete one; none when more bytes are needed or
    // the bytes can never form a request.
    static std::optional<HTTPRequest> parse(const QByteArray& data);
};

Q_DECLARE_METATYPE(HTTPRequest)
