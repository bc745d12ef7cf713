#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "platform/Result.h"

// The desktop's user notifications: show one, and hear when the user activates or dismisses it.
class DesktopNotifications : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~DesktopNotifications() override = default;

    // The id the notification service gave the notification, or why it could not be shown.
    using Shown = std::function<void(const Result<quint32, QString>&)>;

    // Whether a notification service is there to show anything.
    virtual bool isAvailable() = 0;
    // Shows a notification with the default sound and a "default" action (activating its body).
    // `shown` is called once, later, on the main thread.
    virtual void show(const QString& title, const QString& body, Shown shown) = 0;

Q_SIGNALS:
    void actionInvoked(quint32 id, const QString& actionKey);
    void closed(quint32 id);
};
