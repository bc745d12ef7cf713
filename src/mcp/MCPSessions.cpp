#include "mcp/MCPSessions.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <array>

QString MCPSessions::open(const QString& clientName)
{
    std::lock_guard lock(m_mutex);
    QHash<QString, int> held;
    for (const Session& session : std::as_const(m_sessions)) ++held[session.clientName];
    while (held.value(clientName) >= m_maxPerClient) {
        endOldestOf(clientName);
        --held[clientName];
    }
    while (m_sessions.size() >= m_max && !m_sessions.isEmpty()) {
        // The client holding the most gives one up.
        QString most;
        for (auto it = held.begin(); it != held.end(); ++it)
            if (most.isNull() || it.value() > held.value(most)) most = it.key();
        endOldestOf(most);
        --held[most];
    }
    std::array<quint32, 8> random{};
    QRandomGenerator::system()->fillRange(random.data(), random.size());
    const QByteArray bytes(reinterpret_cast<const char*>(random.data()), sizeof random);
    // Visible ASCII only, as the header allows; without padding it is 43 characters.
    const QString id =
        QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    m_sessions.insert(id, Session{clientName, ++m_clock});
    return id;
}

void MCPSessions::endOldestOf(const QString& clientName)
{
    auto oldest = m_sessions.end();
    for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it)
        if (it->clientName == clientName && (oldest == m_sessions.end() || it->lastUse < oldest->lastUse)) oldest = it;
    if (oldest != m_sessions.end()) m_sessions.erase(oldest);
}

std::optional<QString> MCPSessions::use(const QString& id)
{
    std::lock_guard lock(m_mutex);
    auto it = m_sessions.find(id);
    if (it == m_sessions.end()) return std::nullopt;
    it->lastUse = ++m_clock;
    return it->clientName;
}

bool MCPSessions::end(const QString& id)
{
    std::lock_guard lock(m_mutex);
    return m_sessions.remove(id) > 0;
}

void MCPSessions::endClient(const QString& clientName)
{
    std::lock_guard lock(m_mutex);
    m_sessions.removeIf([&](const auto& entry) { return entry.value().clientName == clientName; });
}

void MCPSessions::keepOnly(const QStringList& clientNames)
{
    std::lock_guard lock(m_mutex);
    m_sessions.removeIf([&](const auto& entry) { return !clientNames.contains(entry.value().clientName); });
}

void MCPSessions::endAll()
{
    std::lock_guard lock(m_mutex);
    m_sessions.clear();
}

int MCPSessions::count() const
{
    std::lock_guard lock(m_mutex);
    return int(m_sessions.size());
}
