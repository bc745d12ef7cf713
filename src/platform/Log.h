#pragma once

#include <QLoggingCategory>
#include <QStringList>
#include <optional>

// The application's logging channels, one category each. Use them with Qt's category macros:
//   qCInfo(Log::store) << "Saved" << count;        // "default" level
//   qCWarning(Log::privacy, "Seal failed: %s", qUtf8Printable(reason));   // "error" level
//   qCCritical(Log::store) << ...;                  // "fault" level
// Debug lines are off unless enabled through setVerbosity, QT_LOGGING_RULES or a capture (tests).
namespace Log {
const QLoggingCategory& store();
const QLoggingCategory& hotkeys();
const QLoggingCategory& reminders();
const QLoggingCategory& privacy();
const QLoggingCategory& app();

// How much our categories print. Warnings and worse always; informational and debug lines only when
// asked for (TARNWICK_LOG, --verbose): a user cannot act on them, so a normal launch keeps quiet.
enum class Verbosity { Quiet, Info, Debug };
// The level a TARNWICK_LOG value asks for: "info" or "debug" (in any case); empty or unset is Quiet;
// anything else is not understood (none).
std::optional<Verbosity> parseVerbosity(const QString& value);
// Sets the one filter of our categories for the process, at start-up. QT_LOGGING_RULES, when set,
// still has the last word.
void setVerbosity(Verbosity verbosity);

// Test sink: while capturing, every line written to one of the categories above is also kept as
// "<category>: <message>", and debug lines are enabled.
void startCapture();
void stopCapture();
QStringList capturedLines();
void clearCaptured();
}  // namespace Log
