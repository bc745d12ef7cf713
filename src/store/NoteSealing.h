#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <QVector>
#include <optional>

#include "keys/CryptoBox.h"
#include "platform/Result.h"

class Note;
class NoteImage;

// Moves a locked note's content between its clear and sealed forms: the body (in all its stored
// forms) goes into one sealed payload on the note, each picture's bytes into a cipher on its row. The
// title is never sealed. Both directions are all or nothing: every cipher is made, or every plaintext
// opened, before the first field is written. Nothing here saves; the store does.
class NoteSealing {
public:
    struct Error {
        std::optional<CryptoBox::CryptoError> crypto;  // set when the lock keys were the trouble
        QString description;                           // for the log
    };

    // Whether the note holds plaintext: a body, legacy rich data, blocks, or a picture with bytes. The
    // title takes no part.
    static bool hasPlaintextBody(const Note& note, const QList<NoteImage*>& images);

    // Seals the note's content and the bytes of its pictures (its rows, as the store lists them). A
    // picture sealed before and revealed since keeps its cipher and only loses its bytes. On failure
    // the note and its rows are exactly as they were and the failure is logged.
    static Status<Error> seal(Note& note, const QList<NoteImage*>& images);
    // The same under `key` (this machine's lock key, read once by the caller): the keychain is not asked.
    static Status<Error> seal(Note& note, const QList<NoteImage*>& images, const QByteArray& key);

    // What the store writes for an unlocked note instead of its content: `values` (the note's, as held)
    // get the sealed payload of the body and an empty body, so no file holds the text. Returns the
    // attributes replaced. When the payload cannot be sealed (logged) the body is left out all the same
    // and the payload is not replaced.
    static quint64 sealedStoredForm(QVector<QVariant>& values, const QByteArray& key);
    // The attributes that sealedStoredForm replaces: body, rich data, blocks and payload.
    static quint64 sealedNoteAttributes();

    struct Revealed {
        bool changed = false;           // content was put back
        bool fromOlderRelease = false;  // the payload has no version: its legacy body wants converting
    };
    // Puts the sealed content back in the clear, keeping the ciphers so a later seal can reuse the
    // pictures' ones. Does nothing when there is no payload, and nothing when the note already holds
    // plaintext: that content is at least as new as the payload (revealed before, or a seal failed),
    // and opening the payload over it would throw away the edits made since. On failure nothing
    // changed and the failure is logged.
    // With `key`, that key alone opens it (the ring is not asked).
    static Result<Revealed, Error> reveal(Note& note, const QList<NoteImage*>& images,
                                          const std::optional<QByteArray>& key = std::nullopt);

    // The title inside the note's payload; none when there is no payload or it does not open. Silent.
    static std::optional<QString> sealedTitle(const Note& note);
};
