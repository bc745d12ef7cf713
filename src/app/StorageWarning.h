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
    // What is on disk where the notes are kept. Notes are said to be on disk only when the notes file
    // is there: a folder that could not be made holds nothing, and neither does one whose notes file is
    // missing or has something else (a folder, say) in its place.
    enum class Folder { present, noNotesFile, missing };
    // Looks at the notes folder and the notes file in it.
    static Folder stateOf(const QString& storeDirectory);
    static Texts texts(const QString& failure, const QString& storeDirectory, const QString& homeDirectory,
                       Folder state);
    // The first kMaxFailureLength UTF-16 units, one fewer when that would split a surrogate pair.
    static QString cut(const QString& failure);

    // Shows the warning modally. Return chooses "Quit Tarnwick"; Escape, closing the window or the
    // application being told to quit mean the same.
    static Choice run(const QString& failure);
};
