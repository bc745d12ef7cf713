#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QRectF>
#include <QStringList>
#include <QUrl>
#include <QUuid>
#include <optional>

#include "model/NoteBlock.h"
#include "model/Opacity.h"
#include "model/Tint.h"
#include "platform/ManagedObject.h"
#include "platform/Result.h"

// A stored note: one row per note, and the object every view, window and service holds while it shows
// or changes that note. The body is kept three ways: the block envelope (the truth), its plain
// projection (for search, lists, titles and as the last resort) and, on old notes, a legacy rich body.
class Note : public ManagedObject {
    Q_OBJECT
public:
    // Attribute indices, in schema order.
    enum Attribute {
        Uuid,
        Title,
        Body,
        BodyRichData,
        BodyBlocksData,
        TintRaw,
        ThemeID,
        WallpaperID,
        WallpaperBrightness,
        WallpaperBlur,
        FontFamilyOverride,
        InkHexOverride,
        PaperHexOverride,
        OpacityRaw,
        OpacityValue,
        IsPinned,
        FloatsOnTop,
        IsLocked,
        LockedCipher,
        ReminderDate,
        Tags,
        SourceApp,
        SourceURL,
        DayKey,
        FrameX,
        FrameY,
        FrameW,
        FrameH,
        CreatedAt,
        UpdatedAt,
        IsTrashed,
        DeletedAt,
    };

    static const EntityDescription& entityDescription();

    // Schema defaults only; the store fills the values of a loaded row.
    Note();
    // A new note: new UUID, the given content, createdAt == updatedAt == now (read from the maker's
    // clock). Not inserted anywhere.
    Note(const QString& title, const QString& body, Tint tint, Opacity opacity, const std::optional<QString>& sourceApp,
         const std::optional<QUrl>& sourceURL, const QDateTime& now);

    QUuid uuid() const { return value(Uuid).toUuid(); }
    void setUuid(const QUuid& v) { setValue(Uuid, v); }
    QString title() const { return value(Title).toString(); }
    void setTitle(const QString& v) { setValue(Title, v); }
    QString body() const { return value(Body).toString(); }
    void setBody(const QString& v) { setValue(Body, v); }
    std::optional<QByteArray> bodyRichData() const;
    void setBodyRichData(const std::optional<QByteArray>& v);
    std::optional<QByteArray> bodyBlocksData() const;
    // Whether the large values are there, without reading them.
    bool hasBodyRichData() const { return hasValue(BodyRichData); }
    bool hasBodyBlocksData() const { return hasValue(BodyBlocksData); }
    bool hasLockedCipher() const { return hasValue(LockedCipher); }
    void setBodyBlocksData(const std::optional<QByteArray>& v);
    QString tintRaw() const { return value(TintRaw).toString(); }
    void setTintRaw(const QString& v) { setValue(TintRaw, v); }
    QString themeID() const { return value(ThemeID).toString(); }
    void setThemeID(const QString& v) { setValue(ThemeID, v); }
    std::optional<QString> wallpaperID() const;
    void setWallpaperID(const std::optional<QString>& v);
    std::optional<double> wallpaperBrightness() const;
    void setWallpaperBrightness(const std::optional<double>& v);
    std::optional<double> wallpaperBlur() const;
    void setWallpaperBlur(const std::optional<double>& v);
    std::optional<QString> fontFamilyOverride() const;
    void setFontFamilyOverride(const std::optional<QString>& v);
    std::optional<QString> inkHexOverride() const;
    void setInkHexOverride(const std::optional<QString>& v);
    std::optional<QString> paperHexOverride() const;
    void setPaperHexOverride(const std::optional<QString>& v);
    QString opacityRaw() const { return value(OpacityRaw).toString(); }
    void setOpacityRaw(const QString& v) { setValue(OpacityRaw, v); }
    double opacityValue() const { return value(OpacityValue).toDouble(); }
    void setOpacityValue(double v) { setValue(OpacityValue, v); }
    bool isPinned() const { return value(IsPinned).toBool(); }
    void setIsPinned(bool v) { setValue(IsPinned, v); }
    bool floatsOnTop() const { return value(FloatsOnTop).toBool(); }
    void setFloatsOnTop(bool v) { setValue(FloatsOnTop, v); }
    bool isLocked() const { return value(IsLocked).toBool(); }
    void setIsLocked(bool v) { setValue(IsLocked, v); }
    std::optional<QByteArray> lockedCipher() const;
    void setLockedCipher(const std::optional<QByteArray>& v);
    std::optional<QDateTime> reminderDate() const;
    void setReminderDate(const std::optional<QDateTime>& v);
    QStringList tags() const { return value(Tags).toStringList(); }
    void setTags(const QStringList& v) { setValue(Tags, v); }
    std::optional<QString> sourceApp() const;
    void setSourceApp(const std::optional<QString>& v);
    std::optional<QUrl> sourceURL() const;
    void setSourceURL(const std::optional<QUrl>& v);
    std::optional<QString> dayKey() const;
    void setDayKey(const std::optional<QString>& v);
    std::optional<double> frameX() const;
    void setFrameX(const std::optional<double>& v);
    std::optional<double> frameY() const;
    void setFrameY(const std::optional<double>& v);
    std::optional<double> frameW() const;
    void setFrameW(const std::optional<double>& v);
    std::optional<double> frameH() const;
    void setFrameH(const std::optional<double>& v);
    QDateTime createdAt() const { return value(CreatedAt).toDateTime(); }
    void setCreatedAt(const QDateTime& v) { setValue(CreatedAt, v); }
    QDateTime updatedAt() const { return value(UpdatedAt).toDateTime(); }
    void setUpdatedAt(const QDateTime& v) { setValue(UpdatedAt, v); }
    bool isTrashed() const { return value(IsTrashed).toBool(); }
    void setIsTrashed(bool v) { setValue(IsTrashed, v); }
    std::optional<QDateTime> deletedAt() const;
    void setDeletedAt(const std::optional<QDateTime>& v);

    // tintRaw as a Tint; any text that is not a tint reads as blue.
    Tint tint() const;
    void setTint(Tint t) { setTintRaw(t.rawValue()); }

    // The title shown in lists, windows and tool replies.
    QString displayTitle() const;
    // The title shown for a locked note instead of any content.
    QString lockedTitle() const;
    // What lockedTitle() gives for a note with that title.
    static QString lockedTitle(const QString& title);
    // The content exists only in its sealed form: locked, with a cipher, and no body in the clear.
    // Nothing may write a body into such a note, or the next seal would cover the sealed content
    // with it.
    bool isSealed() const;
    // Whether the note holds nothing worth keeping (a picture counts: the body holds U+FFFC for it).
    bool isContentEmpty() const;
    // The saved window frame, when all four parts are set. Writing sets x, y, width, height in turn.
    std::optional<QRectF> frameOnDesktop() const;
    void setFrameOnDesktop(const std::optional<QRectF>& frame);

    // Day keys are "yyyy-MM-dd" in the Gregorian calendar, whatever the user's locale and calendar.
    static std::optional<QDate> dateFromDayKey(const QString& key);
    // The display text of a day key (abbreviated weekday, month and day, as the user's locale
    // orders them), or none when the key does not parse.
    static std::optional<QString> formattedDay(const QString& key);

    // ---- The body as blocks ----

    struct TextRange {
        qint64 location = 0;
        qint64 length = 0;
        bool operator==(const TextRange&) const = default;
    };
    struct AppendedRange {
        QUuid blockID;
        TextRange range;        // where the appended text now lies, in UTF-16 units of that block's text
        bool newBlock = false;  // the text went into a block of its own, made for it
    };
    // Why appendPlain left the note alone.
    enum class AppendError {
        newerVersion,  // the body was written by a newer version of the application
        corrupt,       // the stored blocks cannot be read
        legacyBody,    // the body is still in its legacy rich form and has not been converted
        unwritable,    // the changed blocks could not be encoded
        sealed,        // the content is sealed (isSealed): appending would replace it
    };

    // The body as blocks; never fails. When the envelope is absent or unreadable, one text block
    // holding the plain body (with a new id each time).
    QVector<NoteBlock> blocks() const;
    // The stored envelope's blocks; none when there is no envelope or it cannot be read (newer, corrupt).
    // Kept while the envelope stays the same, so opening, checking and collecting a long body parse it once.
    std::optional<QVector<NoteBlock>> decodedBlocks() const;
    // Tells the note that `data`, just stored as its envelope, holds these blocks (an editor that encoded
    // them itself), so the next append or open does not parse them again.
    void rememberBlocks(const QByteArray& data, const QVector<NoteBlock>& blocks) const
    {
        if (bodyBlocksData() == data) rememberWritten(data, blocks);
    }
    // Writes the blocks: the envelope, the plain projection, and clears the legacy rich body. Returns
    // false, leaving the note untouched, when the blocks cannot be encoded.
    bool setBlocks(const QVector<NoteBlock>& blocks);
    // Text blocks give their text, picture blocks U+FFFC; joined with "\n".
    static QString projectedBody(const QVector<NoteBlock>& blocks);
    // Appends plain text to the last text block (after a line break) or in a new text block after a
    // picture. An empty last block takes the text as it is, or after a line break with
    // `keepEmptyLine` (an editor's caret stands on that line, and keeps it to itself). Refuses,
    // changing nothing, when the stored body could not be kept: a newer or unreadable envelope, a
    // legacy body that has not been converted, or sealed content.
    Result<AppendedRange, AppendError> appendPlain(const QString& text, bool keepEmptyLine = false);

private:
    // The blocks this note last wrote or read, kept while its stored envelope is still that one:
    // parsing a long body again for the next append would cost more than saving it. Dropped as soon
    // as the envelope changes in any other way (sealing clears it), so nothing outlives its text.
    const QVector<NoteBlock>* writtenBlocks(const QByteArray& data) const;
    void rememberWritten(const QByteArray& data, const QVector<NoteBlock>& blocks) const;
    mutable QByteArray m_writtenData;
    mutable QVector<NoteBlock> m_writtenBlocks;
    mutable bool m_watchingEnvelope = false;
};
