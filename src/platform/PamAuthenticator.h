#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>

#include "platform/Authenticator.h"
#include "platform/PasswordPrompt.h"

// Checks the account password of the user running the application through PAM. PAM runs on a
// worker thread (modules may sleep after a wrong password); each of its questions is put to the owner
// in a PasswordPrompt on the main thread. A wrong password is asked again, up to maxAttempts times.
//
// The PAM service is "tarnwick" when the system configures one (the package installs
// /etc/pam.d/tarnwick), else "login", the stack that screen lockers also check the owner's password
// against.
class PamAuthenticator : public QObject, public Authenticator {
    Q_OBJECT
public:
    using PromptFactory = std::function<std::unique_ptr<PasswordPrompt>()>;
    static constexpr int maxAttempts = 3;

    // A PAM service and the file that configures it (empty when none was found), named in messages
    // when the stack cannot be used.
    struct Service {
        QString name;
        QString file;
    };

    // Where PAM looks for service files, in its order.
    static QStringList serviceDirectories();
    // Where PAM finds modules named without a path.
    static QStringList moduleDirectories();

    // The password ("auth") stack of a service file as PAM reads it, includes followed: the module
    // files it runs, or what keeps it from being used (an unreadable file, a missing module that is
    // not optional). Reads files only: nothing is asked and no login is attempted.
    struct AuthStack {
        QStringList modules;
        QString problem;
    };
    static AuthStack readAuthStack(const QString& serviceFile, const QStringList& moduleDirectories);
    // "tarnwick" when one of the directories holds its file, else "login".
    static Service defaultService(const QStringList& directories = serviceDirectories());

    explicit PamAuthenticator(PromptFactory prompts, Service service = defaultService(serviceDirectories()),
                              QObject* parent = nullptr);
    ~PamAuthenticator() override;

    Availability availability() override;
    void evaluate(const QString& reason, Completion done) override;

    QString service() const { return m_service.name; }
    // The login name of the user running the application; empty when it cannot be found.
    static QString currentUser();

    struct Evaluation;

private:
    friend struct PamWorker;
    void askOnMainThread(const std::shared_ptr<Evaluation>& evaluation, const PasswordPrompt::Request& request);
    void finishOnMainThread(const std::shared_ptr<Evaluation>& evaluation, Outcome outcome, const QString& detail);

    PromptFactory m_promptFactory;
    Service m_service;
    // Evaluations under way and their prompts (main thread only).
    std::map<std::shared_ptr<Evaluation>, std::unique_ptr<PasswordPrompt>> m_running;
};
