#include "store/SnapshotSealing.h"

#include "keys/CryptoBox.h"
#include "platform/SqliteRows.h"
#include "store/LockedPayload.h"

namespace {

using Value = SqliteRows::Value;
using T = AttributeType;

QString describe(const StoreError& error)
{
    return error.description();
}

}  // namespace

namespace {

// The locked notes that hold plaintext, each with its body fields; none when the file has no such
// table (a store from before private notes, or no database at all).
Result<QList<QVariantList>, StoreError> notesInTheClear(SqliteRows& db, bool* hasImages)
{
    auto noteColumns = db.columns(QStringLiteral("Note"));
    if (!noteColumns) return noteColumns.error();
    for (const char* needed : {"uuid", "isLocked", "body", "bodyRichData", "bodyBlocksData", "lockedCipher"})
        if (!noteColumns->contains(QLatin1String(needed))) return QList<QVariantList>{};
    auto imageColumns = db.columns(QStringLiteral("NoteImage"));
    if (!imageColumns) return imageColumns.error();
    *hasImages = imageColumns->contains(QLatin1String("noteUUID")) && imageColumns->contains(QLatin1String("data")) &&
                 imageColumns->contains(QLatin1String("lockedCipher"));
    const QByteArray withPictures =
        *hasImages ? " OR uuid IN (SELECT noteUUID FROM NoteImage WHERE data IS NOT NULL)" : QByteArray();
    return db.select(
        "SELECT uuid, body, bodyRichData, bodyBlocksData FROM Note WHERE isLocked = 1 AND "
        "(COALESCE(body, '') <> '' OR bodyRichData IS NOT NULL OR bodyBlocksData IS NOT NULL" +
            withPictures + ")",
        {}, {T::String, T::String, T::Data, T::Data});
}

}  // namespace

Result<SnapshotSealing::Checked, QString> SnapshotSealing::sealLockedNotes(const QString& storeFile)
{
    // Looked at read-only first: a copy with nothing to seal is kept exactly as it was taken.
    {
        auto reader = SqliteRows::open(storeFile, true);
        // A copy that cannot be read cannot be sealed either: it is kept, and the caller says so.
        if (!reader) return Checked{describe(reader.error())};
        bool hasImages = false;
        auto notes = notesInTheClear(**reader, &hasImages);
        if (!notes && SqliteRows::isNotADatabase(notes.error())) return Checked{};  // nothing in it we could read
        if (!notes) return Checked{describe(notes.error())};
        if (notes->isEmpty()) return Checked{};
    }

    auto opened = SqliteRows::open(storeFile, false);
    if (!opened) return describe(opened.error());
    SqliteRows& db = **opened;
    // Freed space is overwritten with zeros, so the old cells do not stay behind in the file.
    if (auto r = db.execute("PRAGMA secure_delete = ON"); !r) return describe(r.error());
    bool hasImages = false;
    auto notes = notesInTheClear(db, &hasImages);
    if (!notes) return describe(notes.error());

    struct PictureSeal {
        qint64 row;
        QByteArray cipher;
    };
    struct NoteSeal {
        QString uuid;
        QByteArray cipher;
        QList<PictureSeal> pictures;
    };
    // Every cipher is made before the first row is written, as the live store does.
    QList<NoteSeal> seals;
    // The keyring is asked once for every note and picture of the copy (a locked one prompts each time).
    QByteArray key;
    if (!notes->isEmpty()) {
        // Before any window is up: nothing waits on a prompt here.
        const CryptoBox::AskHere askHere;
        auto read = CryptoBox::sealingKey();
        if (!read) return CryptoBox::describe(read.error());
        key = *read;
    }
    for (const QVariantList& row : *notes) {
        LockedPayload payload;
        payload.version = LockedPayload::currentVersion;
        payload.body = row[1].toString();
        if (row[2].isValid()) payload.bodyRichData = row[2].toByteArray();
        if (row[3].isValid()) payload.blocks = row[3].toByteArray();
        auto cipher = CryptoBox::sealWith(key, payload.encoded());
        if (!cipher) return CryptoBox::describe(cipher.error());
        NoteSeal seal{row[0].toString(), *cipher, {}};
        if (hasImages) {
            auto pictures =
                db.select("SELECT _rowid, data, lockedCipher FROM NoteImage WHERE noteUUID = ? AND data IS NOT NULL",
                          {Value{T::String, seal.uuid}}, {T::Int, T::Data, T::Data});
            if (!pictures) return describe(pictures.error());
            for (const QVariantList& picture : *pictures) {
                QByteArray pictureCipher = picture[2].toByteArray();
                if (!picture[2].isValid()) {
                    auto sealed = CryptoBox::sealWith(key, picture[1].toByteArray());
                    if (!sealed) return CryptoBox::describe(sealed.error());
                    pictureCipher = *sealed;
                }
                seal.pictures.append({picture[0].toLongLong(), pictureCipher});
            }
        }
        seals.append(seal);
    }

    if (auto r = db.execute("BEGIN IMMEDIATE"); !r) return describe(r.error());
    auto write = [&]() -> Status<StoreError> {
        for (const NoteSeal& seal : seals) {
            if (auto r = db.execute("UPDATE Note SET lockedCipher = ?, body = '', bodyRichData = NULL, "
                                    "bodyBlocksData = NULL WHERE uuid = ?",
                                    {Value{T::Data, seal.cipher}, Value{T::String, seal.uuid}});
                !r)
                return r;
            for (const PictureSeal& picture : seal.pictures)
                if (auto r = db.execute("UPDATE NoteImage SET lockedCipher = ?, data = NULL WHERE _rowid = ?",
                                        {Value{T::Data, picture.cipher}, Value{T::Int, picture.row}});
                    !r)
                    return r;
        }
        return db.execute("COMMIT");
    };
    if (auto written = write(); !written) {
        db.execute("ROLLBACK");
        return describe(written.error());
    }
    // The log held the rows in the clear too: fold it into the file and empty it.
    if (auto r = db.checkpoint(); !r) return describe(r.error());
    return Checked{};
}
