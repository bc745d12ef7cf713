#include "app/SingleInstance.h"

#include "platform/StartupActivation.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <memory>

#include "platform/Log.h"

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance()
{
    if (!m_registered) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(ApplicationId::objectPath());
    bus.unregisterService(ApplicationId::name());
}

SingleInstance::Claim SingleInstance::claim()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCWarning(Log::app, "No session bus (%s): a second Tarnwick cannot be detected",
                  qUtf8Printable(bus.lastError().message()));
        return Claim::NoBus;
    }
    // The object goes up before the name, so a launch that sees the name can call it at once.
    if (!bus.registerObject(ApplicationId::objectPath(), this, QDBusConnection::ExportScriptableSlots)) {
        qCWarning(Log::app, "Could not serve %s on the session bus", qUtf8Printable(ApplicationId::objectPath()));
        return Claim::NoBus;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(ApplicationId::name(), QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_registered = true;
        return Claim::Primary;
    }
    bus.unregisterObject(ApplicationId::objectPath());
    if (!reply.isValid()) {
        qCWarning(Log::app, "Could not claim %s: %s", ApplicationId::kName, qUtf8Printable(reply.error().message()));
        return Claim::NoBus;
    }
    return Claim::AlreadyRunning;
}

std::optional<QString> SingleInstance::activateRunning(const QString& startupId)
{
    QDBusMessage call = QDBusMessage::createMethodCall(ApplicationId::name(), ApplicationId::objectPath(),
                                                       ApplicationId::name(), QStringLiteral("ActivateWithStartupId"));
    call << startupId;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ErrorMessage) return reply.errorMessage();
    return std::nullopt;
}

void SingleInstance::Activate()
{
    ActivateWithStartupId(QString());
}

void SingleInstance::ActivateWithStartupId(const QString& startupId)
{
    qCInfo(Log::app, "Activation requested by another launch");
    Q_EMIT activationRequested(StartupActivation::acceptedId(startupId));
}

QString SingleInstance::errorName(const char* suffix)
{
    return ApplicationId::name() + QStringLiteral(".Error.") + QString::fromLatin1(suffix);
}

void SingleInstance::answerCapture(const CaptureHandler& handler, const QString& text,
                                   const std::function<void(const CaptureAnswer&)>& done)
{
    if (!handler) return done({{}, errorName("NotReady"), QStringLiteral("Tarnwick has not finished starting.")});
    if (text.size() > kMaxCaptureLength)
        return done({{},
                     errorName("TooLarge"),
                     QStringLiteral("The text is longer than %1 characters.").arg(kMaxCaptureLength)});
    handler(text, [done](CaptureReply reply) {
        switch (reply) {
            case CaptureReply::appended:
                return done({QStringLiteral("appended"), {}, {}});
            case CaptureReply::captured:
                return done({QStringLiteral("captured"), {}, {}});
            case CaptureReply::empty:
                return done({QStringLiteral("empty"), {}, {}});
            case CaptureReply::notSaved:
                break;
        }
        done({{}, errorName("NotSaved"), QStringLiteral("The text could not be saved.")});
    });
}

QString SingleInstance::CaptureText(const QString& text)
{
    if (!calledFromDBus()) {
        auto answered = std::make_shared<QString>();
        answerCapture(m_captureHandler, text, [answered](const CaptureAnswer& answer) { *answered = answer.reply; });
        return *answered;
    }
    // The capture may wait on the window in front (a browser slow to show its page) while the
    // application goes on: the caller is answered when it is filed.
    setDelayedReply(true);
    answerCapture(m_captureHandler, text, [bus = connection(), call = message()](const CaptureAnswer& answer) {
        bus.send(answer.errorName.isEmpty() ? call.createReply(answer.reply)
                                            : call.createErrorReply(answer.errorName, answer.message));
    });
    return {};
}
