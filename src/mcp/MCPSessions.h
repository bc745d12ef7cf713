#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <mutex>
#include <optional>

// The transport sessions of the local endpoint: a session begins with an answered `initialize` of an
// approved client and is named by a random id that every later request must carry. Sessions live in
// memory only (a relaunch ends them all), end when the client deletes them, and are bounded in number,
// per client name and in all. Beyond either bound a session of the client that holds the most ends
// (its least recently used one): a client opening sessions in a loop ends only its own. Safe to use from any thread:
// the listener's thread checks sessions while the main thread opens and ends them.
class MCPSessions {
public:
    static constexpr int kMaxSessions = 32;
    static constexpr int kMaxSessionsPerClient = 8;

    explicit MCPSessions(int maxSessions = kMaxSessions, int maxPerClient = kMaxSessionsPerClient)
        : m_max(maxSessions), m_maxPerClient(maxPerClient)
    {
    }

    // Opens a session for the client and returns its id: 43 characters of URL-safe Base64 (256 random bits).
    QString open(const QString& clientName);
    // The client of a live session, marking it used; none when the id is unknown or ended.
    std::optional<QString> use(const QString& id);
    // Ends one session; false when it was not live.
    bool end(const QString& id);
    // Ends every session of that client (its approval was taken back).
    void endClient(const QString& clientName);
    // Ends every session of a client not in the list.
    void keepOnly(const QStringList& clientNames);
    void endAll();
    int count() const;

private:
    struct Session {
        QString clientName;
        quint64 lastUse = 0;
    };
    // Ends the least recently used session of that client.
    void endOldestOf(const QString& clientName);

    int m_max;
    int m_maxPerClient;
    mutable std::mutex m_mutex;
    quint64 m_clock = 0;
    QHash<QString, Session> m_sessions;
};
