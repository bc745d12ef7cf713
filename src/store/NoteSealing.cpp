#include "store/NoteSealing.h"

#include <QVector>

#include "model/Note.h"
#include "model/NoteImage.h"
#include "platform/Log.h"
#include "store/LockedPayload.h"

namespace {

NoteSealing::Error errorFrom(const CryptoBox::Error& error)
{
    NoteSealing::Error out;
    if (const auto* crypto = std::get_if<CryptoBox::CryptoError>(&error)) out.crypto = *crypto;
    out.description = CryptoBox::describe(error);
    return out;
}

Result<QByteArray, CryptoBox::Error> openSealed(const QByteArray& sealed, const std::optional<QByteArray>& key)
{
    if (!key) return CryptoBox::open(sealed);
    auto opened = Cipher::openAesGcm(*key, sealed);
    if (!opened) return CryptoBox::Error(opened.error());
    return *opened;
}

Result<LockedPayload, NoteSealing::Error> openPayload(const QByteArray& cipher,
                                                      const std::optional<QByteArray>& key = std::nullopt)
{
    auto opened = openSealed(cipher, key);
    if (!opened) return errorFrom(opened.error());
    auto payload = LockedPayload::decoded(*opened);
    if (!payload) return NoteSealing::Error{std::nullopt, QStringLiteral("the sealed content of the note is damaged")};
    return std::move(*payload);
}

}  // namespace

bool NoteSealing::hasPlaintextBody(const Note& note, const QList<NoteImage*>& images)
{
    if (!note.body().isEmpty() || note.hasBodyRichData() || note.hasBodyBlocksData()) return true;
    for (const NoteImage* image : images)
        if (image->hasData()) return true;
    return false;
}

Status<NoteSealing::Error> NoteSealing::seal(Note& note, const QList<NoteImage*>& images)
{
    auto key = CryptoBox::sealingKey();
    if (!key) {
        const Error e = errorFrom(key.error());
        qCWarning(Log::store, "Lock seal failed, keeping plaintext: %s", qUtf8Printable(e.description));
        return e;
    }
    return seal(note, images, *key);
}

quint64 NoteSealing::sealedNoteAttributes()
{
    return (quint64(1) << Note::Body) | (quint64(1) << Note::BodyRichData) | (quint64(1) << Note::BodyBlocksData) |
           (quint64(1) << Note::LockedCipher);
}

quint64 NoteSealing::sealedStoredForm(QVector<QVariant>& values, const QByteArray& key)
{
    LockedPayload payload;
    payload.version = LockedPayload::currentVersion;
    payload.body = values.at(Note::Body).toString();
    if (values.at(Note::BodyRichData).isValid()) payload.bodyRichData = values.at(Note::BodyRichData).toByteArray();
    if (values.at(Note::BodyBlocksData).isValid()) payload.blocks = values.at(Note::BodyBlocksData).toByteArray();
    auto sealed = CryptoBox::sealWith(key, payload.encoded());
    values[Note::Body] = QString();
    values[Note::BodyRichData] = QVariant();
    values[Note::BodyBlocksData] = QVariant();
    if (!sealed) {
        // The row keeps the payload it has: the edits since are not kept, but nothing is in the clear.
        qCWarning(Log::store, "Could not seal an unlocked note for saving: %s",
                  qUtf8Printable(CryptoBox::describe(sealed.error())));
        return sealedNoteAttributes() & ~(quint64(1) << Note::LockedCipher);
    }
    values[Note::LockedCipher] = *sealed;
    return sealedNoteAttributes();
}

Status<NoteSealing::Error> NoteSealing::seal(Note& note, const QList<NoteImage*>& images, const QByteArray& key)
{
    LockedPayload payload;
    payload.version = LockedPayload::currentVersion;
    payload.body = note.body();
    // Rich data is still there only when converting it to blocks failed; it must travel, or the
    // content that only it holds would be lost.
    payload.bodyRichData = note.bodyRichData();
    payload.blocks = note.bodyBlocksData();

    auto fail = [](const CryptoBox::Error& error) {
        const Error e = errorFrom(error);
        qCWarning(Log::store, "Lock seal failed, keeping plaintext: %s", qUtf8Printable(e.description));
        return e;
    };
    auto sealedPayload = CryptoBox::sealWith(key, payload.encoded());
    if (!sealedPayload) return fail(sealedPayload.error());

    struct Pending {
        NoteImage* image;
        std::optional<QByteArray> newCipher;  // none: sealed before, only the bytes go
    };
    QVector<Pending> pending;
    for (NoteImage* image : images) {
        const auto data = image->data();
        if (!data) continue;
        if (image->lockedCipher()) {
            pending.append({image, std::nullopt});
            continue;
        }
        auto cipher = CryptoBox::sealWith(key, *data);
        if (!cipher) return fail(cipher.error());
        pending.append({image, std::move(*cipher)});
    }

    // Everything is sealed: only now does the note change.
    note.setLockedCipher(*sealedPayload);
    for (const Pending& p : pending) {
        if (p.newCipher) p.image->setLockedCipher(p.newCipher);
        p.image->setData(std::nullopt);
    }
    note.setBody(QString());
    note.setBodyRichData(std::nullopt);
    note.setBodyBlocksData(std::nullopt);
    return {};
}

Result<NoteSealing::Revealed, NoteSealing::Error> NoteSealing::reveal(Note& note, const QList<NoteImage*>& images,
                                                                      const std::optional<QByteArray>& key)
{
    const auto cipher = note.lockedCipher();
    if (!cipher || hasPlaintextBody(note, images)) return Revealed{};

    auto fail = [](Error e) {
        qCWarning(Log::store, "Unlock decrypt failed: %s", qUtf8Printable(e.description));
        return e;
    };
    auto payload = openPayload(*cipher, key);
    if (!payload) return fail(payload.error());

    QVector<std::pair<NoteImage*, QByteArray>> opened;
    for (NoteImage* image : images) {
        const auto imageCipher = image->lockedCipher();
        if (!imageCipher || image->data()) continue;
        auto bytes = openSealed(*imageCipher, key);
        if (!bytes) return fail(errorFrom(bytes.error()));
        opened.append({image, std::move(*bytes)});
    }

    // Everything opened: only now does the note change. The ciphers stay.
    if (note.title().isEmpty() && !payload->title.isEmpty()) note.setTitle(payload->title);
    note.setBody(payload->body);
    note.setBodyRichData(payload->bodyRichData);
    note.setBodyBlocksData(payload->blocks);
    // An empty body opened would read as still sealed and take no typing: it is written as blocks.
    if (payload->body.isEmpty() && !payload->bodyRichData && !payload->blocks) note.setBlocks({});
    for (const auto& [image, bytes] : std::as_const(opened)) image->setData(bytes);
    return Revealed{true, !payload->version.has_value()};
}

std::optional<QString> NoteSealing::sealedTitle(const Note& note)
{
    const auto cipher = note.lockedCipher();
    if (!cipher) return std::nullopt;
    auto payload = openPayload(*cipher);
    if (!payload) return std::nullopt;
    return payload->title;
}
