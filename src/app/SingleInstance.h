#pragma once

#include <QObject>
#include <QString>
#include <optional>

// One Tarnwick per user session. The first instance owns the session-bus name "app.tarnwick.Tarnwick"
// and serves the object "/app/tarnwick/Tarnwick"; a later launch finds the name taken, asks the first
// to come forward through Activate, and leaves.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "app.tarnwick.Tarnwick")
public:
    static constexpr const char* kServiceName = "app.tarnwick.Tarnwick";
    static constexpr const char* kObjectPath = "/app/tarnwick/Tarnwick";

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
