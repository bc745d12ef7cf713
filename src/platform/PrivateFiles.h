#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The user's notes, settings and keys live in folders only the user may enter (0700) and files only
// the user may read (0600), whatever the umask: other local users must not read them.
namespace PrivateFiles {

// Creates the folder and any missing parents, and makes the folder itself 0700. False when it cannot.
bool makeFolder(const QString& path);
// Makes a file 0600 or a folder 0700. Symbolic links are left alone.
void restrict(const QString& path);
// restrict() for the folder and everything in it (links are not followed).
void restrictTree(const QString& path);
// Makes a regular file 0600, through a link as the system resolves it; a folder, pipe, device or a link
// that leads nowhere is left alone. False when no regular file is there.
bool restrictFile(const QString& path);
// Creates an empty 0600 file when none is there, so that a library that creates files with the
// umask's mode (and gives its companion files the mode of the main one) finds a private file; a
// regular file already there (through a link too) is made 0600. A link to a file not made yet gets
// that file. False when there is no private file there afterwards. `made`, when given, is set to the
// file this call created (`path` or the link's target), or emptied when it created none: the only
// file its caller may remove again.
bool createFile(const QString& path, QString* made = nullptr);

// The real path of what is at `path`, every link followed; empty when any part of it is missing.
QByteArray realPath(const QByteArray& path);
// The file that writing through `path` reaches, as the system resolves it: the real path when the whole
// chain exists; else each link is followed in turn, a relative one from the real folder of the link
// that holds it (a folder on the way may itself be a link), to the file not made yet. None for a loop,
// a chain too long to follow, or a folder on the way that is not there, with errno saying why.
std::optional<QByteArray> resolvedPath(const QByteArray& path);

}  // namespace PrivateFiles
