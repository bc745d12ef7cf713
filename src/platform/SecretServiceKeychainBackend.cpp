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

struct ObjectDeleter {
    void operator()(gpointer o) const { g_object_unref(o); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, ObjectDeleter>;

// A list of GObjects, each held once.
struct ItemList {
    GList* items = nullptr;
    ItemList() = default;
    explicit ItemList(GList* l) : items(l) {}
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;
    ~ItemList() { g_list_free_full(items, g_object_unref); }
};

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

KeychainBackend::Failure lockedFailure()
{
    return {KeychainBackend::statusInteractionNotAllowed, QStringLiteral("the keyring is locked")};
}

KeychainBackend::Failure cancelledFailure()
{
    return {KeychainBackend::statusUserCanceled, QStringLiteral("the keyring's unlock prompt was cancelled")};
}

Result<SecretService*, KeychainBackend::Failure> connect()
{
    GError* error = nullptr;
    // The process's shared connection (a new reference each time).
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    if (!service) return failureFrom(error);
    return service;
}

// Unlocks the objects (items or a collection) with one prompt. A prompt that is dismissed unlocks
// nothing and reports no error: that is a cancel here, never "nothing there".
Status<KeychainBackend::Failure> unlock(SecretService* service, GList* objects)
{
    if (!KeychainBackend::mayAskUserOnThisThread()) return lockedFailure();
    GError* error = nullptr;
    GList* unlocked = nullptr;
    const gint count = secret_service_unlock_sync(service, objects, nullptr, &unlocked, &error);
    g_list_free_full(unlocked, g_object_unref);
    if (error) return failureFrom(error);
    if (count < gint(g_list_length(objects))) return cancelledFailure();
    return {};
}

// Every item with these attributes, locked or not, from every collection. A locked item is unlocked
// first (one prompt for all of them) when `unlockThem`; without it they are returned as they are.
Result<GList*, KeychainBackend::Failure> search(SecretService* service, GHashTable* table, bool unlockThem)
{
    GError* error = nullptr;
    GList* found = secret_service_search_sync(service, schema(), table, SECRET_SEARCH_ALL, nullptr, &error);
    if (error) {
        g_list_free_full(found, g_object_unref);
        return failureFrom(error);
    }
    if (!unlockThem) return found;
    GList* locked = nullptr;
    for (GList* node = found; node; node = node->next)
        if (secret_item_get_locked(SECRET_ITEM(node->data))) locked = g_list_append(locked, node->data);
    if (!locked) return found;
    auto unlocked = unlock(service, locked);
    g_list_free(locked);
    g_list_free_full(found, g_object_unref);
    if (!unlocked) return unlocked.error();
    // Searched again, so what is returned says what the keyring holds now.
    found = secret_service_search_sync(service, schema(), table, SECRET_SEARCH_ALL, nullptr, &error);
    if (error) {
        g_list_free_full(found, g_object_unref);
        return failureFrom(error);
    }
    for (GList* node = found; node; node = node->next) {
        if (secret_item_get_locked(SECRET_ITEM(node->data))) {
            g_list_free_full(found, g_object_unref);
            return lockedFailure();
        }
    }
    return found;
}

// The default collection, unlocked (one prompt when it is locked); none when there is none yet.
Result<SecretCollection*, KeychainBackend::Failure> defaultCollection(SecretService* service)
{
    GError* error = nullptr;
    SecretCollection* collection =
        secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
    if (error) return failureFrom(error);
    if (!collection) return static_cast<SecretCollection*>(nullptr);
    if (secret_collection_get_locked(collection)) {
        GList* objects = g_list_append(nullptr, collection);
        auto unlocked = unlock(service, objects);
        g_list_free(objects);
        if (!unlocked) {
            g_object_unref(collection);
            return unlocked.error();
        }
    }
    return collection;
}

// Stores a local item in the default collection. Without `replace`, an item with the same attributes
// is never overwritten (the keyring keeps both); with it, it is replaced in place, so the old secret
// stays until the new one is stored.
Status<KeychainBackend::Failure> store(const QString& service, const QString& account, const QByteArray& data,
                                       bool replace)
{
    auto connection = connect();
    if (!connection) return connection.error();
    GObjectPtr<SecretService> secretService(*connection);
    auto collection = defaultCollection(secretService.get());
    if (!collection) return collection.error();
    Attributes table = attributes(service, &account, false);
    SecretValue* value = secret_value_new(data.constData(), data.size(), "application/octet-stream");
    const QByteArray label = QStringLiteral("Tarnwick (%1, %2)").arg(service, account).toUtf8();
    GError* error = nullptr;
    bool stored = false;
    if (*collection) {
        GObjectPtr<SecretCollection> held(*collection);
        SecretItem* item =
            secret_item_create_sync(held.get(), schema(), table.get(), label.constData(), value,
                                    replace ? SECRET_ITEM_CREATE_REPLACE : SECRET_ITEM_CREATE_NONE, nullptr, &error);
        stored = item != nullptr;
        if (item) g_object_unref(item);
    } else if (KeychainBackend::mayAskUserOnThisThread()) {
        // No default collection yet: the keyring makes one (asking for its password) and stores the
        // item in it. A new collection holds nothing that could be replaced.
        stored = secret_password_storev_binary_sync(schema(), table.get(), SECRET_COLLECTION_DEFAULT, label.constData(),
                                                    value, nullptr, &error);
    } else {
        secret_value_unref(value);
        return lockedFailure();
    }
    secret_value_unref(value);
    if (stored) return {};
    if (error) return failureFrom(error);
    return cancelledFailure();
}

// Serialises check-then-store across our own processes; the keyring has no add-if-absent.
std::unique_ptr<QLockFile> writerLock()
{
    auto lock = std::make_unique<QLockFile>(SecretServiceKeychainBackend::writerLockPath());
    if (!lock->tryLock(5000)) return nullptr;
    return lock;
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
    auto connection = connect();
    if (!connection) return connection.error();
    GObjectPtr<SecretService> secretService(*connection);
    Attributes table = attributes(service, nullptr, synchronizable);
    // Unlocked here, so the reads of the items that follow ask nothing more.
    auto found = search(secretService.get(), table.get(), true);
    if (!found) return found.error();
    ItemList items(*found);
    QStringList out;
    for (GList* node = items.items; node; node = node->next) {
        GHashTable* itemAttributes = secret_item_get_attributes(SECRET_ITEM(node->data));
        if (!itemAttributes) continue;
        if (const auto* account = static_cast<const char*>(g_hash_table_lookup(itemAttributes, "account")))
            out << QString::fromUtf8(account);
        g_hash_table_unref(itemAttributes);
    }
    return out;
}

Result<QByteArray, KeychainBackend::Failure> SecretServiceKeychainBackend::read(const QString& service,
                                                                                const QString& account,
                                                                                bool synchronizable)
{
    auto connection = connect();
    if (!connection) return connection.error();
    GObjectPtr<SecretService> secretService(*connection);
    Attributes table = attributes(service, &account, synchronizable);
    auto found = search(secretService.get(), table.get(), true);
    if (!found) return found.error();
    ItemList items(*found);
    if (!items.items) return Failure{statusItemNotFound, {}};
    auto* item = SECRET_ITEM(items.items->data);
    GError* error = nullptr;
    if (!secret_item_load_secret_sync(item, nullptr, &error)) return failureFrom(error);
    SecretValue* value = secret_item_get_secret(item);
    // An item that is there but hands over no secret is locked again, not absent.
    if (!value) return lockedFailure();
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
    auto connection = connect();
    if (!connection) return connection.error();
    GObjectPtr<SecretService> secretService(*connection);
    // A locked item counts as much as an open one: it is never replaced, and nothing is unlocked to see it.
    Attributes table = attributes(service, &account, false);
    auto found = search(secretService.get(), table.get(), false);
    if (!found) return found.error();
    ItemList items(*found);
    if (items.items) return Failure{statusDuplicateItem, {}};
    return store(service, account, data, false);
}

Status<KeychainBackend::Failure> SecretServiceKeychainBackend::replace(const QString& service, const QString& account,
                                                                       const QByteArray& data)
{
    auto lock = writerLock();
    if (!lock) return Failure{statusIOError, QStringLiteral("another process holds the keychain lock")};
    return store(service, account, data, true);
}
