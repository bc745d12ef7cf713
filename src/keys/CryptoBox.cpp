#include "keys/CryptoBox.h"

#include <QCoreApplication>
#include <QMutex>
#include <QPointer>
#include <QSet>
#include <QThread>
#include <algorithm>
#include <optional>

#include "keys/KeychainStore.h"
#include "platform/BackgroundCall.h"
#include "platform/Log.h"

namespace {

// Items that are not AES-256 keys are left out of the ring: one damaged or foreign item must not stop
// every seal (it could otherwise become the sealing key) or every open. Each is logged once per run.
void reportMalformedKey(bool synchronizable, const QString& account, qsizetype size)
{
    static QMutex mutex;
    static QSet<QString> reported;
    const QString tag = QStringLiteral("%1/%2/%3").arg(synchronizable).arg(account).arg(size);
    {
        QMutexLocker lock(&mutex);
        if (reported.contains(tag)) return;
        reported.insert(tag);
    }
    qCWarning(Log::privacy, "Ignoring %s lock key item \"%s\": it holds %d bytes, not 32.",
              synchronizable ? "a synchronizable" : "a local", qUtf8Printable(account), int(size));
}

// The ring as readRingLater() last read it, for the backend of that generation, with the key that
// seals (none when the local ring was empty, or its key has gone missing since).
struct ReadAhead {
    QMutex mutex;
    int generation = -1;
    QList<CryptoBox::StoredKey> ring;
    std::optional<QByteArray> sealingKey;
};
ReadAhead& readAhead()
{
    static ReadAhead instance;
    return instance;
}

std::optional<QByteArray> openWithReadAhead(const QByteArray& sealed)
{
    ReadAhead& ahead = readAhead();
    QMutexLocker lock(&ahead.mutex);
    if (ahead.generation != KeychainStore::backendGeneration()) return std::nullopt;
    for (const CryptoBox::StoredKey& key : std::as_const(ahead.ring))
        if (auto opened = Cipher::openAesGcm(key.key, sealed)) return *opened;
    return std::nullopt;
}

// Main-thread callers asking the keyring themselves while an AskHere lives.
thread_local bool t_askHere = false;

const QString notReadYet = QStringLiteral("the keyring has not been read yet");

bool heldRingCurrent(ReadAhead& ahead)
{
    return ahead.generation == KeychainStore::backendGeneration();
}

QList<CryptoBox::StoredKey> keysFrom(const QList<KeychainStore::Item>& items, bool synchronizable)
{
    QList<CryptoBox::StoredKey> keys;
    for (const KeychainStore::Item& item : items) {
        if (item.data.size() != Cipher::keySize) {
            reportMalformedKey(synchronizable, item.account, item.data.size());
            continue;
        }
        keys.append(CryptoBox::StoredKey{CryptoBox::keyID(item.data), item.data});
    }
    return keys;
}

// Appends the keys of each list in turn, each key once (a key can be held locally and synchronised).
void appendUnseen(QList<CryptoBox::StoredKey>& ring, std::initializer_list<QList<CryptoBox::StoredKey>> lists)
{
    QSet<QString> seen;
    for (const CryptoBox::StoredKey& key : ring) seen.insert(key.id);
    for (const QList<CryptoBox::StoredKey>& list : lists) {
        for (const CryptoBox::StoredKey& key : list) {
            if (seen.contains(key.id)) continue;
            seen.insert(key.id);
            ring.append(key);
        }
    }
}

}  // namespace

QString CryptoBox::CryptoError::description() const
{
    switch (kind) {
        case Kind::keyUnreadable:
            return QStringLiteral("lock key could not be read: ") + detail;
        case Kind::noKeyOpensThis:
            return QStringLiteral("none of the %1 key(s) on this computer opens this note").arg(tried);
        case Kind::sealProducedNoData:
            return QStringLiteral("AES-GCM produced no combined box");
        case Kind::keyMissing:
            return QStringLiteral("no lock key in the keyring");
    }
    return {};
}

QString CryptoBox::describe(const Error& error)
{
    return std::visit([](const auto& e) { return e.description(); }, error);
}

QString CryptoBox::keyID(const QByteArray& keyBytes)
{
    return QString::fromLatin1(Cipher::sha256(keyBytes).toHex().left(16));
}

Result<QList<CryptoBox::StoredKey>, CryptoBox::Error> CryptoBox::localKeys()
{
    auto items = KeychainStore::readAll(KeychainStore::lockKeyService, false);
    if (!items) return Error(CryptoError::keyUnreadable(items.error().description()));
    return keysFrom(*items, false);
}

QList<CryptoBox::StoredKey> CryptoBox::syncKeys()
{
    auto items = KeychainStore::readAll(KeychainStore::lockKeyService, true);
    if (!items) {
        // Keys from other machines are a bonus: their absence never stops sealing or opening.
        qCDebug(Log::privacy, "Synchronizable lock keys unavailable: %s", qUtf8Printable(items.error().description()));
        return {};
    }
    return keysFrom(*items, true);
}

Result<QList<CryptoBox::StoredKey>, CryptoBox::Error> CryptoBox::allKeys()
{
    auto local = localKeys();
    if (!local) return local.error();
    QList<StoredKey> ring;
    appendUnseen(ring, {*local, syncKeys()});
    return ring;
}

bool CryptoBox::answersFromHeldRing()
{
    if (t_askHere || !KeychainStore::backendMayAskUser()) return false;
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool CryptoBox::sealsWithoutAsking()
{
    return !answersFromHeldRing() || heldSealingKey().has_value();
}

CryptoBox::AskHere::AskHere() : m_before(t_askHere)
{
    t_askHere = true;
}

CryptoBox::AskHere::~AskHere()
{
    t_askHere = m_before;
}

std::optional<QByteArray> CryptoBox::heldSealingKey()
{
    ReadAhead& ahead = readAhead();
    QMutexLocker lock(&ahead.mutex);
    if (!heldRingCurrent(ahead)) return std::nullopt;
    return ahead.sealingKey;
}

bool CryptoBox::opensWith(const QByteArray& key, const QByteArray& sealed)
{
    return Cipher::openAesGcm(key, sealed).ok();
}

Result<QByteArray, CryptoBox::Error> CryptoBox::sealingKey()
{
    if (answersFromHeldRing()) {
        ReadAhead& ahead = readAhead();
        QMutexLocker lock(&ahead.mutex);
        if (heldRingCurrent(ahead) && ahead.sealingKey) return *ahead.sealingKey;
        return Error(CryptoError::keyUnreadable(notReadYet));
    }
    auto local = localKeys();
    if (!local) return local.error();
    // Only a key made on this machine seals. Nothing here brings synchronizable keys from other
    // machines, so any such item was planted by a process that can write the keyring, and would hold a
    // key it knows. They are still tried when opening, so what they sealed stays readable.
    const QList<StoredKey>& candidates = *local;
    if (candidates.isEmpty()) return mintDeviceKey();
    const auto smallest = std::min_element(candidates.begin(), candidates.end(),
                                           [](const StoredKey& a, const StoredKey& b) { return a.id < b.id; });
    return smallest->key;
}

Result<QByteArray, CryptoBox::Error> CryptoBox::mintDeviceKey()
{
    const QByteArray key = Cipher::randomBytes(Cipher::keySize);
    if (key.size() != Cipher::keySize)
        return Error(Cipher::Error{Cipher::Error::Code::internalFailure, QStringLiteral("no random bytes for a key")});

    auto added = KeychainStore::add(key, KeychainStore::lockKeyService, KeychainStore::lockKeyAccount);
    if (added) {
        qCInfo(Log::privacy, "Minted a new locked-note key (the keyring was empty).");
        return key;
    }
    if (added.error().kind != KeychainStore::KeychainError::Kind::itemAlreadyExists)
        return Error(CryptoError::keyUnreadable(added.error().description()));

    // Another writer stored "primary" since the ring was read: use that key, drop ours.
    auto stored = KeychainStore::read(KeychainStore::lockKeyService, KeychainStore::lockKeyAccount, false);
    if (!stored) return Error(CryptoError::keyUnreadable(stored.error().description()));
    if (stored->size() != Cipher::keySize)
        return Error(CryptoError::keyUnreadable(
            QStringLiteral("the stored lock key holds %1 bytes, not 32").arg(stored->size())));
    return *stored;
}

Result<QByteArray, CryptoBox::Error> CryptoBox::seal(const QByteArray& plaintext)
{
    auto key = sealingKey();
    if (!key) return key.error();
    return sealWith(*key, plaintext);
}

Result<QByteArray, CryptoBox::Error> CryptoBox::sealWith(const QByteArray& key, const QByteArray& plaintext)
{
    auto sealed = Cipher::sealAesGcm(key, plaintext);
    if (!sealed) return Error(sealed.error());
    if (sealed->size() != plaintext.size() + Cipher::overhead) return Error(CryptoError::sealProducedNoData());
    return *sealed;
}

Result<QByteArray, CryptoBox::Error> CryptoBox::open(const QByteArray& sealed)
{
    // A value that cannot be a sealed box is refused before the keychain is asked.
    if (sealed.size() < Cipher::overhead)
        return Error(Cipher::Error{Cipher::Error::Code::invalidParameterSize,
                                   QStringLiteral("a sealed box has at least 28 bytes, not %1").arg(sealed.size())});
    if (auto opened = openWithReadAhead(sealed)) return *opened;
    if (answersFromHeldRing()) {
        ReadAhead& ahead = readAhead();
        QMutexLocker lock(&ahead.mutex);
        if (!heldRingCurrent(ahead)) return Error(CryptoError::keyUnreadable(notReadYet));
        if (ahead.ring.isEmpty()) return Error(CryptoError::keyMissing());
        return Error(CryptoError::noKeyOpensThis(int(ahead.ring.size())));
    }
    auto ring = allKeys();
    if (!ring) return ring.error();
    if (ring->isEmpty()) return Error(CryptoError::keyMissing());
    for (const StoredKey& key : *ring) {
        auto opened = Cipher::openAesGcm(key.key, sealed);
        if (opened) return *opened;
        if (opened.error().code != Cipher::Error::Code::authenticationFailure) return Error(opened.error());
    }
    return Error(CryptoError::noKeyOpensThis(int(ring->size())));
}

namespace {

// Requests for the ring, on the main thread: the one attempt running and those that wait for the next.
struct RingRequest {
    QPointer<QObject> context;
    std::function<void(QString)> done;
};
struct Attempts {
    bool running = false;
    bool minting = false;
    QList<RingRequest> current;
    QList<RingRequest> next;  // asked for a key to seal with while an attempt that makes none ran
};
Attempts& attempts()
{
    static Attempts instance;
    return instance;
}

void answer(const QList<RingRequest>& requests, const QString& problem)
{
    for (const RingRequest& request : requests)
        if (request.context && request.done) request.done(problem);
}

// Keys whose check is queued already.
QSet<QByteArray>& keysBeingChecked()
{
    static QSet<QByteArray> keys;
    return keys;
}

}  // namespace

Result<QList<CryptoBox::StoredKey>, CryptoBox::Error> CryptoBox::readRing(bool forSealing)
{
    const int generation = KeychainStore::backendGeneration();
    auto local = localKeys();
    if (!local) return local.error();
    std::optional<QByteArray> sealing;
    QList<StoredKey> ring;
    if (!local->isEmpty()) {
        sealing = std::min_element(local->begin(), local->end(), [](const StoredKey& a, const StoredKey& b) {
                      return a.id < b.id;
                  })->key;
    } else if (forSealing) {
        auto minted = mintDeviceKey();
        if (!minted) return minted.error();
        sealing = *minted;
        ring.append(StoredKey{keyID(*minted), *minted});
    }
    appendUnseen(ring, {*local, syncKeys()});
    ReadAhead& ahead = readAhead();
    QMutexLocker lock(&ahead.mutex);
    ahead.generation = generation;
    ahead.ring = ring;
    ahead.sealingKey = sealing;
    return ring;
}

void CryptoBox::readRingLater(QObject* context, std::function<void(QString)> done, bool forSealing)
{
    Attempts& a = attempts();
    RingRequest request{context, std::move(done)};
    if (a.running) {
        if (forSealing && !a.minting)
            a.next.append(std::move(request));
        else
            a.current.append(std::move(request));
        return;
    }
    a.running = true;
    a.minting = forSealing;
    a.current = {std::move(request)};
    BackgroundCall::runInLine<QString>(
        QCoreApplication::instance(),
        [forSealing] {
            auto ring = readRing(forSealing);
            if (ring) return QString();
            // The keychain's own words where it was the trouble.
            const auto* crypto = std::get_if<CryptoError>(&ring.error());
            return crypto && crypto->kind == CryptoError::Kind::keyUnreadable ? crypto->detail : describe(ring.error());
        },
        std::function<void(QString)>([](QString problem) {
            Attempts& a = attempts();
            const QList<RingRequest> answered = std::exchange(a.current, {});
            QList<RingRequest> waiting = std::exchange(a.next, {});
            a.running = false;
            bool needsKey = false;
            if (problem.isEmpty() && !waiting.isEmpty()) {
                ReadAhead& ahead = readAhead();
                QMutexLocker lock(&ahead.mutex);
                needsKey = !ahead.sealingKey;
            }
            answer(answered, problem);
            if (waiting.isEmpty()) return;
            // A failed attempt is not made again for those who waited on it: the keyring is tried again at
            // the next relock or launch. A ring read without a key to seal with is read once more, minting.
            if (!needsKey) return answer(waiting, problem);
            for (RingRequest& r : waiting) readRingLater(r.context, std::move(r.done), true);
        }));
}

void CryptoBox::keepInRingLater(QObject* context, const QByteArray& key, std::function<void(QString)> lost)
{
    if (keysBeingChecked().contains(key)) return;
    keysBeingChecked().insert(key);
    BackgroundCall::runInLine<QString>(
        QCoreApplication::instance(),
        [key] {
            // Looked at without a prompt: a locked keyring held the key when it was read.
            bool& mayAsk = KeychainBackend::mayAskUserOnThisThread();
            mayAsk = false;
            auto local = localKeys();
            mayAsk = true;
            if (!local) return QString();
            const QString id = keyID(key);
            for (const StoredKey& stored : std::as_const(*local))
                if (stored.id == id) return QString();
            // "primary" may name a key made since; the ring is every item of the service.
            auto added = KeychainStore::add(key, KeychainStore::lockKeyService, KeychainStore::lockKeyAccount);
            if (!added && added.error().kind == KeychainStore::KeychainError::Kind::itemAlreadyExists)
                added = KeychainStore::add(key, KeychainStore::lockKeyService, QStringLiteral("kept-") + id);
            if (!added) {
                qCWarning(Log::privacy,
                          "The lock key of a sealed note is no longer in the keyring and could not be stored "
                          "again: %s",
                          qUtf8Printable(added.error().description()));
                // Never again used to seal.
                ReadAhead& ahead = readAhead();
                QMutexLocker lock(&ahead.mutex);
                if (ahead.sealingKey == key) ahead.sealingKey.reset();
                return added.error().description();
            }
            qCInfo(Log::privacy, "Stored again the lock key of a sealed note (its item had been deleted).");
            return QString();
        },
        std::function<void(QString)>(
            [key, receiver = QPointer<QObject>(context), lost = std::move(lost)](QString problem) {
                keysBeingChecked().remove(key);
                if (!problem.isEmpty() && receiver && lost) lost(problem);
            }));
}
