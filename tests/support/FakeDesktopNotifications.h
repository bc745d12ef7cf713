#pragma once

#include <QList>

#include "platform/DesktopNotifications.h"

// Records what would be shown; ids count up from 1. Set `available` or `failure` to play an absent or
// refusing notification service.
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
        if (!failure.isEmpty()) {
            done(Result<quint32, QString>::failure(failure));
            return;
        }
        shown.append({m_next, title, body});
        done(Result<quint32, QString>::success(m_next++));
    }

    bool available = true;
    QString failure;
    QList<Notice> shown;

private:
    quint32 m_next = 1;
};
