#pragma once

#include <QDeadlineTimer>
#include <QMap>
#include <QStringList>

#include "platform/AccessibilityReader.h"

// An accessibility bus in memory: applications with process ids and trees of objects. Records the
// objects asked about, and can run out of time at a given call, or as a browser slow to answer does.
class FakeAccessibilityReader : public AccessibilityReader {
public:
    struct Object {
        quint32 role = 0;
        quint64 states = AccessibleState::showing;
        QString name;
        QMap<QString, QString> attributes;
        std::optional<QRect> extents;
        QStringList children;  // paths
    };

    // Adds an application (its root at "/<service>") and answers its process id.
    AccessibleObject addApplication(const QString& service, qint64 pid)
    {
        pids[service] = pid;
        objects[path(service)] = Object{};
        apps.append({service, path(service)});
        return apps.last();
    }
    // Adds a child below `parent` in the same application and returns its path.
    QString add(const QString& parent, const Object& object)
    {
        const QString child = parent + u'/' + QString::number(objects[parent].children.size());
        objects[parent].children.append(child);
        objects[child] = object;
        return child;
    }
    static QString path(const QString& service) { return u'/' + service; }

    std::optional<QList<AccessibleObject>> applications(int limit) override
    {
        if (tick()) return std::nullopt;
        return apps.mid(0, limit);
    }
    std::optional<qint64> processID(const AccessibleObject& application) override
    {
        if (tick() || !pids.contains(application.service)) return std::nullopt;
        return pids[application.service];
    }
    std::optional<QList<AccessibleNode>> children(const AccessibleObject& object, int limit) override
    {
        if (tick() || !objects.contains(object.path)) return std::nullopt;
        walked.append(object.path);
        QList<AccessibleNode> nodes;
        for (const QString& child : objects[object.path].children.mid(0, limit))
            nodes.append({{object.service, child}, objects[child].role, objects[child].states});
        return nodes;
    }
    std::optional<QString> name(const AccessibleObject& object) override
    {
        if (tick() || !objects.contains(object.path)) return std::nullopt;
        return objects[object.path].name;
    }
    std::optional<QRect> extents(const AccessibleObject& object) override
    {
        if (tick() || !objects.contains(object.path)) return std::nullopt;
        return objects[object.path].extents;
    }
    std::optional<QString> documentAttribute(const AccessibleObject& document, const QString& attribute) override
    {
        if (tick() || !objects.contains(document.path)) return std::nullopt;
        return objects[document.path].attributes.value(attribute);
    }
    bool timedOut() const override { return m_timedOut; }

    QList<AccessibleObject> apps;
    QMap<QString, qint64> pids;
    QMap<QString, Object> objects;
    QStringList walked;  // objects whose children were read, in order
    int calls = 0;
    int timeOutAtCall = -1;  // the call (counted from 1) that runs out of time
    // A browser that answers only this long after it is first asked (it builds its objects then): a
    // read whose deadline leaves less runs out of time at its first call, as a call on the bus would.
    qint64 answersAfterMs = 0;
    QDeadlineTimer deadline{QDeadlineTimer::Forever};

private:
    // Counts a call; true when time has run out.
    bool tick()
    {
        ++calls;
        if (calls == timeOutAtCall) m_timedOut = true;
        if (calls == 1 && !deadline.isForever() && deadline.remainingTime() < answersAfterMs) m_timedOut = true;
        return m_timedOut;
    }
    bool m_timedOut = false;
};
