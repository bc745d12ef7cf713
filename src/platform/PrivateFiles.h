#pragma once

#include <QString>

// The user's notes, settings and keys live in folders only the user may enter (0700) and files only
// the user may read (0600), whatever the umask: other local users must not read them.
namespace PrivateFiles {

// Creates the folder and any missing parents, and makes the folder itself 0700. False when it cannot.
bool makeFolder(const QString& path);
// Makes a file 0600 or a folder 0700. Symbolic links are left alone.
void restrict(const QString& path);
// restrict() for the folder and everything in it (links are not followed).
void restrictTree(const QString& path);
// Creates an empty 0600 file when none is there, so that a library that creates files with the
// umask's mode (and gives its companion files the mode of the main one) finds a private file.
bool createFile(const QString& path);

}  // namespace PrivateFiles
