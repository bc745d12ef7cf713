#pragma once

#include <QLoggingCategory>
#include <QStringList>

// The application's logging channels, one category each. Use them with Qt's category macros:
//   qCInfo(Log::store) << "Saved" << count;        // "default" level
//   qCWarning(Log::privacy, "Seal failed: %s", qUtf8Printable(reason));   // "error" level
//   qCCritical(Log::store) << ...;                  // "fault" level
// Debug lines are off unless enabled through QT_LOGGING_RULES or a capture (tests).
namespace Log {
const QLoggingCategory& store();
const QLoggingCategory& hotkeys();
const QLoggingCategory& reminders();
const QLoggingCategory& privacy();
const QLoggingCategory& app();

// Test sink: while capturing, every line written to one of the categories above is also kept as
// "<category>: <message>", and debug lines are enabled.
void startCapture();
void stopCapture();
QStringList capturedLines();
void clearCaptured();
}  // namespace Log
