#include "app/SingleInstance.h"

#include "platform/StartupActivation.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

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

SingleInstance::CaptureAnswer SingleInstance::answerCapture(const CaptureHandler& handler, const QString& text)
{
    if (!handler) return {{}, errorName("NotReady"), QStringLiteral("Tarnwick has not finished starting.")};
    if (text.size() > kMaxCaptureLength)
        return {
            {}, errorName("TooLarge"), QStringLiteral("The text is longer than %1 characters.").arg(kMaxCaptureLength)};
    switch (handler(text)) {
        case CaptureReply::appended:
            return {QStringLiteral("appended"), {}, {}};
        case CaptureReply::captured:
            return {QStringLiteral("captured"), {}, {}};
        case CaptureReply::empty:
            return {QStringLiteral("empty"), {}, {}};
        case CaptureReply::notSaved:
            break;
    }
    return {{}, errorName("NotSaved"), QStringLiteral("The text could not be saved.")};
}

QString SingleInstance::CaptureText(const QString& text)
{
    const CaptureAnswer answer = answerCapture(m_captureHandler, text);
    if (!answer.errorName.isEmpty() && calledFromDBus()) sendErrorReply(answer.errorName, answer.message);
    return answer.reply;
}
