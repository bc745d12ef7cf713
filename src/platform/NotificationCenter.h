#pragma once

#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>

// In-process notifications by name. The object is the UUID of the note concerned (upper case), or
// empty. Observers are called synchronously, in the order they were added, on the posting thread
// (everything posts from the main thread).
struct Notification {
    QString name;
    QString object;
    QVariantMap userInfo;
};

class NotificationCenter;

// Keeps one observation alive; destroying or resetting it removes the observer.
class ObserverToken {
public:
    ObserverToken() = default;
    ObserverToken(ObserverToken&& other) noexcept;
    ObserverToken& operator=(ObserverToken&& other) noexcept;
    ObserverToken(const ObserverToken&) = delete;
    ObserverToken& operator=(const ObserverToken&) = delete;
    ~ObserverToken();

    void reset();
    bool isActive() const { return m_id != 0; }

private:
    friend class NotificationCenter;
    ObserverToken(std::weak_ptr<NotificationCenter*> center, quint64 id) : m_center(std::move(center)), m_id(id) {}
    std::weak_ptr<NotificationCenter*> m_center;
    quint64 m_id = 0;
};

class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    static NotificationCenter& shared();

    // Observe one name; with a non-empty object, only posts about that object. The handler is not
    // called once `context` (when given) is destroyed.
    [[nodiscard]] ObserverToken observe(const QString& name, Handler handler, const QString& object = QString(),
                                        QObject* context = nullptr);
    void post(const QString& name, const QString& object = QString(), const QVariantMap& userInfo = {});

    int observerCount() const;

private:
    friend class ObserverToken;
    void remove(quint64 id);

    struct Entry {
        quint64 id;
        QString name;
        QString object;
        bool hasContext;
        QPointer<QObject> context;
        std::shared_ptr<Handler> handler;
    };
    std::vector<Entry> m_entries;
    quint64 m_nextId = 1;
    std::shared_ptr<NotificationCenter*> m_self;
};
