#include "store/LockedPayload.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace {
// An absent or null member is none; a member of another type, or Base64 that does not decode, fails.
bool readData(const QJsonObject& object, const QString& key, std::optional<QByteArray>& out)
{
    const QJsonValue v = object.value(key);
    if (v.isUndefined() || v.isNull()) return true;
    if (!v.isString()) return false;
    auto decoded = QByteArray::fromBase64Encoding(v.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return false;
    out = std::move(*decoded);
    return true;
}
}  // namespace

QByteArray LockedPayload::encoded() const
{
    QJsonObject object;
    if (version) object.insert(QStringLiteral("version"), *version);
    object.insert(QStringLiteral("title"), title);
    object.insert(QStringLiteral("body"), body);
    if (bodyRichData) object.insert(QStringLiteral("bodyRichData"), QString::fromLatin1(bodyRichData->toBase64()));
    if (blocks) object.insert(QStringLiteral("blocks"), QString::fromLatin1(blocks->toBase64()));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<LockedPayload> LockedPayload::decoded(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();

    LockedPayload payload;
    const QJsonValue version = object.value(QStringLiteral("version"));
    if (!version.isUndefined() && !version.isNull()) {
        const double number = version.toDouble(std::nan(""));
        if (!version.isDouble() || std::trunc(number) != number || std::abs(number) > 9.0e15) return std::nullopt;
        payload.version = qint64(number);
    }
    const QJsonValue title = object.value(QStringLiteral("title"));
    const QJsonValue body = object.value(QStringLiteral("body"));
    if (!title.isString() || !body.isString()) return std::nullopt;
    payload.title = title.toString();
    payload.body = body.toString();
    if (!readData(object, QStringLiteral("bodyRichData"), payload.bodyRichData)) return std::nullopt;
    if (!readData(object, QStringLiteral("blocks"), payload.blocks)) return std::nullopt;
    return payload;
}
