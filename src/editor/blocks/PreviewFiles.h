#pragma once

#include <QHash>
#include <QString>
#include <QUuid>
#include <optional>

class NoteImage;

// The files an in-app preview shows: one per picture, in a folder only the user may enter (0700), each
// file 0600. A file is reused only while its bytes are the row's; the files of a note go when it locks
// or its editor closes, all of them at quit, and leftovers of an earlier run at launch.
class PreviewFiles {
public:
    // The folder: $XDG_RUNTIME_DIR/tarnwick/previews, else a private folder in the temporary directory.
    explicit PreviewFiles(const QString& directory = defaultDirectory());
    ~PreviewFiles();

    static QString defaultDirectory();
    const QString& directory() const { return m_directory; }

    // The preview file of a picture row of a note; none when the row has no bytes or the file cannot be
    // written (logged).
    std::optional<QString> fileFor(const NoteImage& row, const QUuid& noteID);
    // "tarnwick-" + upper-case UUID + "." + png, jpeg or gif by the row's type.
    static QString fileName(const QUuid& pictureID, const QString& utType);

    void removePicture(const QUuid& pictureID);
    void removeNote(const QUuid& noteID);
    void removeAll();
    // Deletes whatever an earlier run left in the folder.
    void sweepLeftovers();

private:
    struct Entry {
        QString path;
        QUuid noteID;
    };
    QString m_directory;
    QHash<QUuid, Entry> m_files;  // by picture id
};
