#include "platform/NotificationCenter.h"

#include <algorithm>

ObserverToken::ObserverToken(ObserverToken&& other) noexcept
    : m_center(std::move(other.m_center)), m_id(std::exchange(other.m_id, 0))
{
}

ObserverToken& ObserverToken::operator=(ObserverToken&& other) noexcept
{
    if (this != &other) {
        reset();
        m_center = std::move(other.m_center);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

ObserverToken::~ObserverToken()
{
    reset();
}

void ObserverToken::reset()
{
    if (m_id == 0) return;
    if (auto center = m_center.lock()) (*center)->remove(m_id);
    m_id = 0;
    m_center.reset();
}

NotificationCenter::NotificationCenter() : m_self(std::make_shared<NotificationCenter*>(this)) {}

NotificationCenter::~NotificationCenter() = default;

NotificationCenter& NotificationCenter::shared()
{
    static NotificationCenter center;
    return center;
}

ObserverToken NotificationCenter::observe(const QString& name, Handler handler, const QString& object, QObject* context)
{
    const quint64 id = m_nextId++;
    m_entries.push_back({id, name, object, context != nullptr, QPointer<QObject>(context),
                         std::make_shared<Handler>(std::move(handler))});
    return ObserverToken(m_self, id);
}

void NotificationCenter::post(const QString& name, const QString& object, const QVariantMap& userInfo)
{
    const Notification note{name, object, userInfo};
    // Copy the matching handlers first: a handler may add or remove observers while we deliver.
    std::vector<std::pair<quint64, std::shared_ptr<Handler>>> targets;
    for (const Entry& e : m_entries) {
        if (e.name != name) continue;
        if (!e.object.isEmpty() && e.object != object) continue;
        if (e.hasContext && !e.context) continue;
        targets.emplace_back(e.id, e.handler);
    }
    for (auto& [id, handler] : targets) {
        const bool stillObserving =
            std::any_of(m_entries.begin(), m_entries.end(), [id = id](const Entry& e) { return e.id == id; });
        if (stillObserving) (*handler)(note);
    }
}

int NotificationCenter::observerCount() const
{
    return int(m_entries.size());
}

void NotificationCenter::remove(quint64 id)
{
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(), [id](const Entry& e) { return e.id == id; }),
                    m_entries.end());
}
