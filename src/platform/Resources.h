#pragma once

#include <QString>

// The application's compiled-in resources (icons) live in a static library, whose unreferenced
// parts the linker drops; calling this before the first ":/" lookup keeps them in and registers them.
// Files loaded at run time (fonts) and the installed desktop entry are found from the install prefix
// of the running executable, or in the source tree when it runs from the build tree.
namespace Resources {
void ensureLoaded();

// The installed prefix's data folder (".../share") when the executable runs from an installed
// tree; empty otherwise.
QString installedDataDir();
// A run-time data file by its path under the application's data folder ("fonts/Newsreader.ttf"):
// <prefix>/share/tarnwick/... when installed, else the source tree's resources/... Empty when absent.
QString dataFile(const QString& relativePath);
}  // namespace Resources
