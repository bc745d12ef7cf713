#pragma once

#include <optional>

#include "platform/DesktopNotifications.h"

// Notifications through org.freedesktop.Notifications on the session bus.
class DBusDesktopNotifications : public DesktopNotifications {
    Q_OBJECT
public:
    explicit DBusDesktopNotifications(QObject* parent = nullptr);

    // The service is running, or the bus can start it.
    bool isAvailable() override;
    void show(const QString& title, const QString& body, Shown shown) override;

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& actionKey);
    void onClosed(uint id, uint reason);

private:
    bool bodyTakesMarkup();

    std::optional<bool> m_bodyMarkup;
};
