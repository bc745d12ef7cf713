#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

#include "platform/Result.h"

// Where keychain items live: generic secrets addressed by service and account, each either local to
// this machine or synchronizable (brought from the user's other machines; never written here).
// Failures carry a keychain status number and the backend's own explanation.
class KeychainBackend {
public:
    enum class Kind { secretService, file, memory };

    // Status numbers of the failures the backends report.
    static constexpr qint32 statusItemNotFound = -25300;
    static constexpr qint32 statusDuplicateItem = -25299;
    static constexpr qint32 statusNotAvailable = -25291;           // no keyring to talk to
    static constexpr qint32 statusInteractionNotAllowed = -25308;  // the keyring is locked
    static constexpr qint32 statusUserCanceled = -128;             // an unlock prompt was dismissed
    static constexpr qint32 statusIOError = -36;                   // the file could not be read or written
    static constexpr qint32 statusDecode = -26275;                 // stored data that cannot be understood
    static constexpr qint32 statusInternalComponent = -26276;      // anything else the keyring reports

    struct Failure {
        qint32 status = statusInternalComponent;
        QString message;  // may be empty
    };

    virtual ~KeychainBackend() = default;
    virtual Kind kind() const = 0;
    // Whether a call may wait on the user (an unlock prompt): such a backend is asked only off the
    // main thread, one call at a time.
    virtual bool mayAskUser() const { return false; }
    // On unless a thread turns it off for its calls (a quiet check that must not bring up a prompt): a
    // locked keyring then answers statusInteractionNotAllowed at once.
    static bool& mayAskUserOnThisThread();

    // The accounts of every item of the service with that synchronizable flag, in stored order.
    // No items is an empty list, not a failure.
    virtual Result<QStringList, Failure> accounts(const QString& service, bool synchronizable) = 0;
    // The secret of one item; statusItemNotFound when there is none.
    virtual Result<QByteArray, Failure> read(const QString& service, const QString& account, bool synchronizable) = 0;
    // Adds a local item; statusDuplicateItem (and nothing changed) when one is there already.
    virtual Status<Failure> add(const QString& service, const QString& account, const QByteArray& data) = 0;
    // Stores the local item, replacing any old one in a single step: when this fails, the old item is
    // still there as it was.
    virtual Status<Failure> replace(const QString& service, const QString& account, const QByteArray& data) = 0;

    // The backend for this session: the desktop keyring when a Secret Service is on the session bus,
    // else the owner-only file. Decided once per process, and the choice is logged once.
    static std::shared_ptr<KeychainBackend> forSession();
    // Whether a Secret Service is running or can be started on the session bus (asked afresh).
    static bool secretServiceOnSessionBus();
};
