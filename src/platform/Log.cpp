#include "platform/Log.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex g_mutex;
QStringList g_lines;
int g_captureDepth = 0;
QtMessageHandler g_previous = nullptr;

bool isOurs(const char* category)
{
    static const char* const names[] = {"store", "hotkeys", "reminders", "privacy", "app"};
    if (!category) return false;
    for (const char* n : names)
        if (qstrcmp(category, n) == 0) return true;
    return false;
}

void captureHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (isOurs(context.category)) {
        QMutexLocker lock(&g_mutex);
        g_lines << QString::fromLatin1(context.category) + QStringLiteral(": ") + message;
    }
    if (g_previous) g_previous(type, context, message);
}
}  // namespace

namespace Log {
Q_LOGGING_CATEGORY(storeCategory, "store", QtInfoMsg)
Q_LOGGING_CATEGORY(hotkeysCategory, "hotkeys", QtInfoMsg)
Q_LOGGING_CATEGORY(remindersCategory, "reminders", QtInfoMsg)
Q_LOGGING_CATEGORY(privacyCategory, "privacy", QtInfoMsg)
Q_LOGGING_CATEGORY(appCategory, "app", QtInfoMsg)

const QLoggingCategory& store()
{
    return storeCategory();
}
const QLoggingCategory& hotkeys()
{
    return hotkeysCategory();
}
const QLoggingCategory& reminders()
{
    return remindersCategory();
}
const QLoggingCategory& privacy()
{
    return privacyCategory();
}
const QLoggingCategory& app()
{
    return appCategory();
}

std::optional<Verbosity> parseVerbosity(const QString& value)
{
    const QString level = value.trimmed().toLower();
    if (level.isEmpty()) return Verbosity::Quiet;
    if (level == QLatin1String("info")) return Verbosity::Info;
    if (level == QLatin1String("debug")) return Verbosity::Debug;
    return std::nullopt;
}

void setVerbosity(Verbosity verbosity)
{
    QString rules;
    for (const char* name : {"store", "hotkeys", "reminders", "privacy", "app"}) {
        rules +=
            QStringLiteral("%1.info=%2\n").arg(QLatin1String(name), verbosity == Verbosity::Quiet ? "false" : "true");
        rules +=
            QStringLiteral("%1.debug=%2\n").arg(QLatin1String(name), verbosity == Verbosity::Debug ? "true" : "false");
    }
    QLoggingCategory::setFilterRules(rules);
}

void startCapture()
{
    QMutexLocker lock(&g_mutex);
    if (g_captureDepth++ == 0) {
        g_lines.clear();
        g_previous = qInstallMessageHandler(captureHandler);
        for (const QLoggingCategory* c : {&store(), &hotkeys(), &reminders(), &privacy(), &app()})
            const_cast<QLoggingCategory*>(c)->setEnabled(QtDebugMsg, true);
    }
}

void stopCapture()
{
    QMutexLocker lock(&g_mutex);
    if (g_captureDepth > 0 && --g_captureDepth == 0) {
        qInstallMessageHandler(g_previous);
        g_previous = nullptr;
        for (const QLoggingCategory* c : {&store(), &hotkeys(), &reminders(), &privacy(), &app()})
            const_cast<QLoggingCategory*>(c)->setEnabled(QtDebugMsg, false);
    }
}

QStringList capturedLines()
{
    QMutexLocker lock(&g_mutex);
    return g_lines;
}

void clearCaptured()
{
    QMutexLocker lock(&g_mutex);
    g_lines.clear();
}
}  // namespace Log
