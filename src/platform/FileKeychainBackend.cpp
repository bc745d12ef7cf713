#include "platform/FileKeychainBackend.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QStandardPaths>

#include "platform/DurableFile.h"
#include "platform/PrivateFiles.h"

namespace {
constexpr int formatVersion = 1;
constexpr int lockTimeoutMs = 5000;

KeychainBackend::Failure ioFailure(const QString& message)
{
    return KeychainBackend::Failure{KeychainBackend::statusIOError, message};
}
KeychainBackend::Failure decodeFailure(const QString& path, const QString& why)
{
    return KeychainBackend::Failure{KeychainBackend::statusDecode,
                                    QStringLiteral("keychain file %1 cannot be read: %2").arg(path, why)};
}
}  // namespace

FileKeychainBackend::FileKeychainBackend(QString path) : m_path(std::move(path)) {}

QString FileKeychainBackend::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/tarnwick/keychain.json");
}

Result<QList<FileKeychainBackend::Item>, KeychainBackend::Failure> FileKeychainBackend::load() const
{
    QFile file(m_path);
    if (!file.exists()) return QList<Item>{};
    if (!file.open(QIODevice::ReadOnly)) return ioFailure(file.errorString());
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) return decodeFailure(m_path, parseError.errorString());
    if (!document.isObject() || !document.object().value(QStringLiteral("items")).isArray())
        return decodeFailure(m_path, QStringLiteral("no list of items"));

    QList<Item> items;
    for (const QJsonValue& value : document.object().value(QStringLiteral("items")).toArray()) {
        const QJsonObject object = value.toObject();
        const QJsonValue service = object.value(QStringLiteral("service"));
        const QJsonValue account = object.value(QStringLiteral("account"));
        const QJsonValue data = object.value(QStringLiteral("data"));
        if (!service.isString() || !account.isString() || !data.isString())
            return decodeFailure(m_path, QStringLiteral("an item without service, account or data"));
        auto decoded =
            QByteArray::fromBase64Encoding(data.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) return decodeFailure(m_path, QStringLiteral("an item whose data is not Base64"));
        items.append(Item{service.toString(), account.toString(),
                          object.value(QStringLiteral("synchronizable")).toBool(false), *decoded});
    }
    return items;
}

Status<KeychainBackend::Failure> FileKeychainBackend::save(const QList<Item>& items) const
{
    QJsonArray array;
    for (const Item& item : items) {
        array.append(QJsonObject{{QStringLiteral("service"), item.service},
                                 {QStringLiteral("account"), item.account},
                                 {QStringLiteral("synchronizable"), item.synchronizable},
                                 {QStringLiteral("data"), QString::fromLatin1(item.data.toBase64())}});
    }
    const QJsonObject root{{QStringLiteral("version"), formatVersion}, {QStringLiteral("items"), array}};

    // Owner-only before the first secret byte reaches the disk; whole or not at all, so a key is never
    // taken as stored when a full disk cut it short.
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Compact);
    if (auto written = DurableFile::replace(m_path, bytes, QFileDevice::ReadOwner | QFileDevice::WriteOwner); !written)
        return ioFailure(written.error());
    return {};
}

template <typename Change>
Status<KeychainBackend::Failure> FileKeychainBackend::modify(Change change)
{
    if (!PrivateFiles::makeFolder(QFileInfo(m_path).absolutePath()))
        return ioFailure(QStringLiteral("cannot create the folder of %1").arg(m_path));
    QLockFile lock(m_path + QStringLiteral(".lock"));
    if (!lock.tryLock(lockTimeoutMs)) return ioFailure(QStringLiteral("%1 is locked by another process").arg(m_path));
    auto items = load();
    if (!items) return items.error();
    if (auto changed = change(*items); !changed) return changed;
    return save(*items);
}

Result<QStringList, KeychainBackend::Failure> FileKeychainBackend::accounts(const QString& service, bool synchronizable)
{
    auto items = load();
    if (!items) return items.error();
    QStringList out;
    for (const Item& item : *items)
        if (item.service == service && item.synchronizable == synchronizable) out << item.account;
    return out;
}

Result<QByteArray, KeychainBackend::Failure> FileKeychainBackend::read(const QString& service, const QString& account,
                                                                       bool synchronizable)
{
    auto items = load();
    if (!items) return items.error();
    for (const Item& item : *items)
        if (item.service == service && item.account == account && item.synchronizable == synchronizable)
            return item.data;
    return Failure{statusItemNotFound, {}};
}

Status<KeychainBackend::Failure> FileKeychainBackend::add(const QString& service, const QString& account,
                                                          const QByteArray& data)
{
    return modify([&](QList<Item>& items) -> Status<Failure> {
        for (const Item& item : items)
            if (item.service == service && item.account == account && !item.synchronizable)
                return Failure{statusDuplicateItem, {}};
        items.append(Item{service, account, false, data});
        return {};
    });
}

Status<KeychainBackend::Failure> FileKeychainBackend::replace(const QString& service, const QString& account,
                                                              const QByteArray& data)
{
    return modify([&](QList<Item>& items) -> Status<Failure> {
        for (Item& item : items) {
            if (item.service == service && item.account == account && !item.synchronizable) {
                item.data = data;
                return {};
            }
        }
        items.append(Item{service, account, false, data});
        return {};
    });
}
