#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

#include "platform/ApplicationId.h"

// One Tarnwick per user session. The first instance owns the session-bus name of the application id
// ("com.fennmoor.Tarnwick") and serves the object "/com/fennmoor/Tarnwick"; a later launch finds the
// name taken, asks the first to come forward through Activate, and leaves. The same object takes text
// from other programs through CaptureText once the launch has finished.
class SingleInstance : public QObject, protected QDBusContext {
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
    // Asks the instance that owns the name to come forward, passing this launch's startup
    // notification id (may be empty) so the window it shows may take the focus. Returns an error
    // message on failure.
    static std::optional<QString> activateRunning(const QString& startupId = QString());

    // What a CaptureText call came to. The texts are the replies; notSaved becomes an error.
    enum class CaptureReply { appended, captured, empty, notSaved };
    // Files the text and calls `done` with what it came to, then or later (the caller is answered then).
    using CaptureHandler = std::function<void(const QString& text, std::function<void(CaptureReply)> done)>;
    // Longest text CaptureText takes, in UTF-16 code units.
    static constexpr qsizetype kMaxCaptureLength = 1024 * 1024;
    // Installed by the shell at the end of the launch; until then every CaptureText is NotReady.
    void setCaptureHandler(CaptureHandler handler) { m_captureHandler = std::move(handler); }
    // The error names CaptureText answers with, under the bus name.
    static QString errorName(const char* suffix);
    struct CaptureAnswer {
        QString reply;      // when there is no error
        QString errorName;  // empty on success
        QString message;
    };
    // What CaptureText answers for the text, with this handler (none: not ready), handed to `done`.
    static void answerCapture(const CaptureHandler& handler, const QString& text,
                              const std::function<void(const CaptureAnswer&)>& done);

public Q_SLOTS:
    Q_SCRIPTABLE void Activate();
    Q_SCRIPTABLE void ActivateWithStartupId(const QString& startupId);
    // Captures the given text as the Services menu would: "appended", "captured" or "empty". The
    // answer goes out once the capture is filed, which may be after the call returns.
    Q_SCRIPTABLE QString CaptureText(const QString& text);

Q_SIGNALS:
    void activationRequested(const QString& startupId);

private:
    bool m_registered = false;
    CaptureHandler m_captureHandler;
};
