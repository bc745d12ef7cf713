#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <variant>

#include "model/text/AttributedText.h"

// Pictures that arrive inside text (pasted rich text, legacy bodies) or as files: pictures never stay in a
// text block's text, they become picture blocks of their own.
class TextPictures {
public:
    // No picture file or clipboard image larger than this is read.
    static constexpr qint64 maximumBytes = 64 * 1024 * 1024;

    // An attachment's picture bytes: its file contents when not empty, else its image encoded as PNG;
    // none when it has neither or the encoding fails.
    static std::optional<QByteArray> attachmentBytes(const TextAttachment& attachment);

    // Why a picture file was not read; `reason` is meant for the user. `notPicture` when the file is
    // a readable regular file (or a folder) that neither its name nor its contents call a picture:
    // a paste then takes the name as text instead.
    struct Skipped {
        QString path;
        QString reason;
        bool notPicture = false;
    };
    // A local picture file's bytes, judged before anything blocks: the path is looked at with lstat
    // (a link must lead to a regular file), opened without waiting (a pipe, socket or device is never
    // read), checked again on the open file, and only then sniffed and read, at most maximumBytes.
    static std::variant<QByteArray, Skipped> readPictureFile(const QString& path);
    // Why picture bytes must not be decoded (a drawing that names files outside itself), for the user;
    // none when they may be.
    static std::optional<QString> refusal(const QByteArray& bytes);
};
