#pragma once

#include <QObject>
#include <QString>
#include <optional>

#include "app/ApplicationId.h"

// One Tarnwick per user session. The first instance owns the session-bus name of the application id
// ("com.fennmoor.Tarnwick") and serves the object "/com/fennmoor/Tarnwick"; a later launch finds the
// name taken, asks the first to come forward through Activate, and leaves.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", TARNWICK_APP_ID)
public:
    enum class Claim {
        Primary,         // this process owns the name
        AlreadyRunning,  // another process owns it
        NoBus,           // no session bus: nothing can tell whether another instance runs
    };

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    Claim claim();
    // Asks the instance that owns the name to come forward. Returns an error message on failure.
    static std::optional<QString> activateRunning();

public Q_SLOTS:
    Q_SCRIPTABLE void Activate();

Q_SIGNALS:
    void activationRequested();

private:
    bool m_registered = false;
};
