#pragma once

#include <QString>

// Why the object store could not open, fetch or save. `code` is the SQLite result code (extended
// where SQLite gives one), 0 for errors of our own.
struct StoreError {
    int code = 0;
    QString message;
    QString path;

    // The sentence for a log line or the user.
    QString description() const { return message; }
    // Every field, for the record the shell keeps of a failed open.
    QString debugDescription() const
    {
        QString text = QStringLiteral("StoreError(code: %1, message: \"%2\"").arg(code).arg(message);
        if (!path.isEmpty()) text += QStringLiteral(", path: \"%1\"").arg(path);
        return text + QLatin1Char(')');
    }
};
