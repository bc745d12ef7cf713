#pragma once

#include <QString>
#include <QStringList>

// The program's options, answered before anything else happens: no display, bus or service is touched
// for --help, --version or a mistake, so they work anywhere and never hand over to a running instance.
struct CommandLine {
    struct Outcome {
        bool run = true;  // false: print and exit with exitCode
        int exitCode = 0;
        QString standardOutput;
        QString standardError;
        bool verbose = false;  // --verbose: informational lines too
    };

    // `arguments` as main() received them, the program name first.
    static Outcome parse(const QStringList& arguments);
    static QString helpText();
};
