#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

// Header lines of a response beyond the framing ones, name and value, in the order they are sent.
using HTTPHeaderList = QList<QPair<QString, QString>>;

// The wire form of a response of the local endpoint. Without a body: "Content-Length: 0" and no content type.
// CR, LF and NUL are dropped from the reason and the header texts, so an echoed value can never start a
// line of its own.
QByteArray rawResponse(int status, const QString& reason, const std::optional<QByteArray>& body,
                       const std::optional<QString>& contentType, const HTTPHeaderList& extraHeaders);
