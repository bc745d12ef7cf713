#include "platform/SecretServiceKeychainBackend.h"

#include <libsecret/secret.h>

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>
#include <memory>

#include "platform/PrivateFiles.h"

namespace {

const SecretSchema* schema()
{
    // DONT_MATCH_NAME: items are found by their attributes alone, so synchronizable items placed by
    // another program are read too.
    static const SecretSchema s = {"com.fennmoor.tarnwick.Keychain",
                                   SECRET_SCHEMA_DONT_MATCH_NAME,
                                   {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {"synchronizable", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                   0,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr};
    return &s;
}

struct HashTableDeleter {
    void operator()(GHashTable* t) const { g_hash_table_unref(t); }
};
using Attributes = std::unique_ptr<GHashTable, HashTableDeleter>;

Attributes attributes(const QString& service, const QString* account, bool synchronizable)
{
    Attributes table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    g_hash_table_insert(table.get(), g_strdup("service"), g_strdup(service.toUtf8().constData()));
    if (account) g_hash_table_insert(table.get(), g_strdup("account"), g_strdup(account->toUtf8().constData()));
    g_hash_table_insert(table.get(), g_strdup("synchronizable"), g_strdup(synchronizable ? "true" : "false"));
    return table;
}

KeychainBackend::Failure failureFrom(GError* error)
{
    KeychainBackend::Failure failure;
    if (!error) return failure;
    failure.message = QString::fromUtf8(error->message);
    if (error->domain == SECRET_ERROR && error->code == SECRET_ERROR_IS_LOCKED)
        failure.status = KeychainBackend::statusInteractionNotAllowed;
    else if (error->domain == SECRET_ERROR && error->code == SECRET_ERROR_NO_SUCH_OBJECT)
        failure.status = KeychainBackend::statusNotAvailable;  // e.g. no default collection
    else if (error->domain == G_IO_ERROR && error->code == G_IO_ERROR_CANCELLED)
        failure.status = KeychainBackend::statusUserCanceled;
    else if (error->domain == G_DBUS_ERROR)
        failure.status = KeychainBackend::statusNotAvailable;
    g_error_free(error);
    return failure;
}

// Serialises check-then-store across our own processes; the keyring has no add-if-absent.
std::unique_ptr<QLockFile> writerLock()
{
    auto lock = std::make_unique<QLockFile>(SecretServiceKeychainBackend::writerLockPath());
    if (!lock->tryLock(5000)) return nullptr;
    return lock;
}

Status<KeychainBackend::Failure> store(const QString& service, const QString& account, const QByteArray& data)
{
    Attributes table = attributes(service, &account, false);
    SecretValue* value = secret_value_new(data.constData(), data.size(), "application/octet-stream");
    const QByteArray label = QStringLiteral("Tarnwick (%1, %2)").arg(service, account).toUtf8();
    GError* error = nullptr;
    // The Secret Service replaces an item with the same attributes in place, so the old secret stays
    // until the new one is stored.
    const gboolean stored = secret_password_storev_binary_sync(schema(), table.get(), SECRET_COLLECTION_DEFAULT,
                                                               label.constData(), value, nullptr, &error);
    secret_value_unref(value);
    if (!stored) return failureFrom(error);
    return {};
}

}  // namespace

QString SecretServiceKeychainBackend::writerLockPath()
{
    // The session's runtime folder is the user's own. Without one, never a shared place such as /tmp,
    // where another user could hold the lock first and make every key mint fail: our data folder.
    QString dir;
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) {
        dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/tarnwick");
        PrivateFiles::makeFolder(dir);
    }
    return dir + QStringLiteral("/tarnwick-keychain.lock");
}

Result<QStringList, KeychainBackend::Failure> SecretServiceKeychainBackend::accounts(const QString& service,
                                                                                     bool synchronizable)
{
    Attributes table = attributes(service, nullptr, synchronizable);
    GError* error = nullptr;
    GList* found = secret_password_searchv_sync(
        schema(), table.get(), SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK), nullptr, &error);
    if (error) return failureFrom(error);
    QStringList out;
    for (GList* node = found; node; node = node->next) {
        GHashTable* itemAttributes = secret_retrievable_get_attributes(SECRET_RETRIEVABLE(node->data));
        if (!itemAttributes) continue;
        if (const auto* account = static_cast<const char*>(g_hash_table_lookup(itemAttributes, "account")))
            out << QString::fromUtf8(account);
        g_hash_table_unref(itemAttributes);
    }
    g_list_free_full(found, g_object_unref);
    return out;
}

Result<QByteArray, KeychainBackend::Failure> SecretServiceKeychainBackend::read(const QString& service,
                                                                                const QString& account,
                                                                                bool synchronizable)
{
    Attributes table = attributes(service, &account, synchronizable);
    GError* error = nullptr;
    SecretValue* value = secret_password_lookupv_binary_sync(schema(), table.get(), nullptr, &error);
    if (error) return failureFrom(error);
    if (!value) return Failure{statusItemNotFound, {}};
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    QByteArray data(bytes, qsizetype(length));
    secret_value_unref(value);
    return data;
}

Status<KeychainBackend::Failure> SecretServiceKeychainBackend::add(const QString& service, const QString& account,
                                                                   const QByteArray& data)
{
    auto lock = writerLock();
    if (!lock) return Failure{statusIOError, QStringLiteral("another process holds the keychain lock")};
    auto existing = read(service, account, false);
    if (existing) return Failure{statusDuplicateItem, {}};
    if (existing.error().status != statusItemNotFound) return existing.error();
    return store(service, account, data);
}

Status<KeychainBackend::Failure> SecretServiceKeychainBackend::replace(const QString& service, const QString& account,
                                                                       const QByteArray& data)
{
    auto lock = writerLock();
    if (!lock) return Failure{statusIOError, QStringLiteral("another process holds the keychain lock")};
    return store(service, account, data);
}
