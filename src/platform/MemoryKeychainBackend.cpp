#include "platform/MemoryKeychainBackend.h"

MemoryKeychainBackend::Item* MemoryKeychainBackend::find(const QString& service, const QString& account,
                                                         bool synchronizable)
{
    for (Item& item : m_items)
        if (item.service == service && item.account == account && item.synchronizable == synchronizable) return &item;
    return nullptr;
}

Result<QStringList, KeychainBackend::Failure> MemoryKeychainBackend::accounts(const QString& service,
                                                                              bool synchronizable)
{
    QStringList out;
    for (const Item& item : m_items)
        if (item.service == service && item.synchronizable == synchronizable) out << item.account;
    return out;
}

Result<QByteArray, KeychainBackend::Failure> MemoryKeychainBackend::read(const QString& service, const QString& account,
                                                                         bool synchronizable)
{
    if (const Item* item = find(service, account, synchronizable)) return item->data;
    return Failure{statusItemNotFound, {}};
}

Status<KeychainBackend::Failure> MemoryKeychainBackend::add(const QString& service, const QString& account,
                                                            const QByteArray& data)
{
    if (find(service, account, false)) return Failure{statusDuplicateItem, {}};
    m_items.append(Item{service, account, false, data});
    return {};
}

Status<KeychainBackend::Failure> MemoryKeychainBackend::replace(const QString& service, const QString& account,
                                                                const QByteArray& data)
{
    put(service, account, false, data);
    return {};
}

void MemoryKeychainBackend::put(const QString& service, const QString& account, bool synchronizable,
                                const QByteArray& data)
{
    if (Item* item = find(service, account, synchronizable))
        item->data = data;
    else
        m_items.append(Item{service, account, synchronizable, data});
}

bool MemoryKeychainBackend::remove(const QString& service, const QString& account, bool synchronizable)
{
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        const Item& item = m_items[i];
        if (item.service == service && item.account == account && item.synchronizable == synchronizable) {
            m_items.removeAt(i);
            return true;
        }
    }
    return false;
}
