#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QVector>
#include <optional>

#include "model/NoteBlock.h"
#include "platform/Result.h"

// The stored form of a note body: a versioned JSON document of blocks, written compact with every
// object's keys in ascending order so that the same blocks always give the same bytes.
class NoteBlockEnvelope {
public:
    // The one version this build writes and reads.
    static constexpr qint64 currentVersion = 1;

    struct Error {
        enum class Kind { newerVersion, corrupt };
        Kind kind = Kind::corrupt;
        qint64 version = 0;  // the stored version, for newerVersion

        static Error newerVersion(qint64 v) { return Error{Kind::newerVersion, v}; }
        static Error corrupt() { return Error{Kind::corrupt, 0}; }
        bool operator==(const Error& other) const
        {
            return kind == other.kind && (kind != Kind::newerVersion || version == other.version);
        }
    };

    struct Header {
        qint64 version = 0;
    };

    struct Payload {
        qint64 version = currentVersion;
        QVector<NoteBlock> blocks;
    };

    // Reads an envelope. Any version other than the current one is reported as newerVersion without
    // looking at its blocks; anything unreadable about a current envelope makes the whole body corrupt.
    static Result<QVector<NoteBlock>, Error> decode(const QByteArray& data);

    // Compact UTF-8 JSON with sorted keys. None when a size or fraction is not a finite number,
    // which JSON cannot express.
    static std::optional<QByteArray> encode(const Payload& payload);
    static std::optional<QByteArray> encode(const QVector<NoteBlock>& blocks)
    {
        return encode(Payload{currentVersion, blocks});
    }

    // True only when `data` is certainly a current envelope that decode() reads in full and whose
    // blocks flatten (Note::projectedBody) to exactly the UTF-8 text `body`. Found in one pass over the
    // bytes, without decoding, for the compact form encode() writes; false for anything outside that
    // form or any doubt, and then says nothing: decode to know.
    static bool projectsExactly(QByteArrayView data, QByteArrayView body);
    // The ids of the pictures the blocks place, in order, by the same one pass: only when `data` is
    // certainly a current envelope that decode() reads in full; none says nothing (decode to know).
    static std::optional<QVector<QUuid>> pictureIDs(QByteArrayView data);
};
