#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QSet>
#include <QSize>
#include <QUuid>
#include <optional>

#include "platform/ManagedObject.h"
#include "platform/Result.h"

// A picture of a note, stored in a row of its own and named from the body by its uuid. Every picture
// is normalised before it is stored: within 2048 pixels a side and 3 MiB, PNG, JPEG or GIF bytes are
// kept as they are; anything else is redrawn, as PNG when it has alpha and JPEG otherwise.
class NoteImage : public ManagedObject {
    Q_OBJECT
public:
    enum Attribute {
        Uuid,
        NoteUUID,
        Data,
        LockedCipher,
        UtType,
        PixelWidth,
        PixelHeight,
        ByteCount,
        ContentHash,
        CreatedAt,
    };

    static constexpr int maxPixelSide = 2048;
    static constexpr qint64 maxPassThroughBytes = 0x300000;  // 3 MiB
    // The most memory one decode may take. A picture that would need more is refused before any pixel
    // is decoded.
    static constexpr qint64 decodeLimitBytes = 128 * 1024 * 1024;

    static const EntityDescription& entityDescription();

    // Schema defaults; the store fills the row.
    NoteImage();

    QUuid uuid() const { return value(Uuid).toUuid(); }
    void setUuid(const QUuid& v) { setValue(Uuid, v); }
    std::optional<QUuid> noteUUID() const;
    void setNoteUUID(const std::optional<QUuid>& v);
    std::optional<QByteArray> data() const;
    // Whether the bytes are there, without reading them.
    bool hasData() const { return hasValue(Data); }
    bool hasLockedCipher() const { return hasValue(LockedCipher); }
    void setData(const std::optional<QByteArray>& v);
    std::optional<QByteArray> lockedCipher() const;
    void setLockedCipher(const std::optional<QByteArray>& v);
    QString utType() const { return value(UtType).toString(); }
    void setUtType(const QString& v) { setValue(UtType, v); }
    qint64 pixelWidth() const { return value(PixelWidth).toLongLong(); }
    void setPixelWidth(qint64 v) { setValue(PixelWidth, QVariant::fromValue(v)); }
    qint64 pixelHeight() const { return value(PixelHeight).toLongLong(); }
    void setPixelHeight(qint64 v) { setValue(PixelHeight, QVariant::fromValue(v)); }
    qint64 byteCount() const { return value(ByteCount).toLongLong(); }
    void setByteCount(qint64 v) { setValue(ByteCount, QVariant::fromValue(v)); }
    QString contentHash() const { return value(ContentHash).toString(); }
    void setContentHash(const QString& v) { setValue(ContentHash, v); }
    QDateTime createdAt() const { return value(CreatedAt).toDateTime(); }
    void setCreatedAt(const QDateTime& v) { setValue(CreatedAt, v); }

    // The decoded picture; null while there are no bytes (a locked note) or they do not decode.
    QImage image() const;

    // Type identifiers whose bytes may be stored unchanged.
    static const QSet<QString>& passThroughTypes();

    struct Normalised {
        QByteArray data;
        QString utType;
        QSize pixelSize;
    };
    enum class NormaliseError {
        empty,          // no bytes
        unreadable,     // no image decoder reads them
        refersOutside,  // a drawing that names files or addresses outside itself
        noPixelSize,    // the picture does not say how large it is, or is empty
        tooLarge,       // decoding would take more memory than decodeLimitBytes
        decodeFailed,   // the pixels could not be decoded
        encodeFailed,   // the redrawn picture could not be encoded
    };

    // The bytes to store for a picture, their type and pixel size. Pure: no store, no logging.
    static Result<Normalised, NormaliseError> normalised(const QByteArray& bytes);
    // SHA-256 of the bytes as 64 lower-case hexadecimal characters.
    static QString hash(const QByteArray& bytes);
    // The type identifier of a Qt image format name ("png" gives "public.png"); empty when unknown.
    static QString typeIdentifier(const QByteArray& qtFormat);
};
