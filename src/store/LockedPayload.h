#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// What the store seals into Note::lockedCipher: a JSON object with "version", "title", "body", and,
// as standard Base64 text, "bodyRichData" and "blocks". Optional members are left out, never null.
// Reading is lenient the way older releases need: "version" may be missing and "title" may hold
// the note's title; unknown members are ignored. "title" and "body" are required.
struct LockedPayload {
    static constexpr qint64 currentVersion = 2;

    std::optional<qint64> version;
    QString title;
    QString body;
    std::optional<QByteArray> bodyRichData;
    std::optional<QByteArray> blocks;

    QByteArray encoded() const;
    // None when the bytes are not such an object (missing or mistyped member, bad Base64).
    static std::optional<LockedPayload> decoded(const QByteArray& json);

    bool operator==(const LockedPayload&) const = default;
};
