#pragma once

#include <QString>

// The warning shown at launch when the notes file could not be opened and the application runs on a
// store in memory: nothing written this session survives quitting.
class StorageWarning {
public:
    StorageWarning() = delete;

    enum class Choice { quit, continueWithoutSaving };

    struct Texts {
        QString title;        // the window's
        QString message;      // the heading
        QString informative;  // three paragraphs
        QString folder;       // the notes folder as the second paragraph names it
    };

    static constexpr qsizetype kMaxFailureLength = 200;

    // The folder is shown with the home folder as "~", at most kMaxFolderLength characters (its middle
    // left out), and never broken across lines at a "/".
    static constexpr qsizetype kMaxFolderLength = 60;
    // Whether the notes folder is there: when it could not be made, no notes are on disk in it.
    enum class Folder { present, missing };
    static Texts texts(const QString& failure, const QString& storeDirectory, const QString& homeDirectory,
                       Folder state);
    // The first kMaxFailureLength UTF-16 units, one fewer when that would split a surrogate pair.
    static QString cut(const QString& failure);

    // Shows the warning modally. Return chooses "Quit Tarnwick"; Escape, closing the window or the
    // application being told to quit mean the same.
    static Choice run(const QString& failure);
};
