#pragma once

#include <QList>

#include "platform/DesktopNotifications.h"

// Records what would be shown (ids from 1). `available` false plays a missing service, a `failure` a
// refusing one.
class FakeDesktopNotifications : public DesktopNotifications {
public:
    struct Notice {
        quint32 id;
        QString title;
        QString body;
    };
    bool isAvailable() override { return available; }
    void show(const QString& title, const QString& body, DesktopNotifications::Shown done) override
    {
        if (!failure.isEmpty()) return done(Result<quint32, QString>::failure(failure));
        shown.append({quint32(shown.size() + 1), title, body});
        done(Result<quint32, QString>::success(shown.last().id));
    }

    bool available = true;
    QString failure;
    QList<Notice> shown;
};
