#include "platform/PamAuthenticator.h"

#include <pwd.h>
#include <security/pam_appl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ProcessHardening.h"

struct PamAuthenticator::Evaluation {
    QString service;
    QString serviceFile;
    QString user;
    QString reason;
    QByteArray tty;

    // Main thread only.
    QPointer<PamAuthenticator> owner;
    Completion done;

    // Shared between the worker and the main thread, under the mutex.
    std::mutex mutex;
    std::condition_variable changed;
    bool answered = false;
    std::optional<QString> answer;
    bool abandoned = false;  // the authenticator went away

    // Worker only.
    bool cancelled = false;
    bool noPrompt = false;
    QString problem;
};

namespace {
void postToMainThread(std::function<void()> work)
{
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

void deliver(const std::shared_ptr<PamAuthenticator::Evaluation>& evaluation, std::optional<QString> answer)
{
    std::lock_guard lock(evaluation->mutex);
    if (evaluation->answered) return;
    evaluation->answered = true;
    evaluation->answer = std::move(answer);
    evaluation->changed.notify_all();
}

QString pamText(pam_handle_t* handle, int code)
{
    return QString::fromLocal8Bit(pam_strerror(handle, code));
}

// What went wrong with the stack, and which file configures it: the one place to look.
QString stackProblem(const QString& explanation, const QString& serviceFile)
{
    if (serviceFile.isEmpty()) return explanation;
    return explanation + QStringLiteral(" (PAM service file %1)").arg(serviceFile);
}
}  // namespace

// What runs on the worker thread: the PAM conversation and the attempts.
struct PamWorker {
    using Evaluation = PamAuthenticator::Evaluation;
    using Outcome = Authenticator::Outcome;

    struct ConversationData {
        std::shared_ptr<Evaluation> evaluation;
    };

    static std::optional<QString> askAndWait(const std::shared_ptr<Evaluation>& evaluation,
                                             const PasswordPrompt::Request& request)
    {
        {
            std::lock_guard lock(evaluation->mutex);
            if (evaluation->abandoned) return std::nullopt;
            evaluation->answered = false;
            evaluation->answer.reset();
        }
        postToMainThread([evaluation, request] {
            if (PamAuthenticator* owner = evaluation->owner.data())
                owner->askOnMainThread(evaluation, request);
            else
                deliver(evaluation, std::nullopt);
        });
        std::unique_lock lock(evaluation->mutex);
        evaluation->changed.wait(lock, [&] { return evaluation->answered || evaluation->abandoned; });
        if (evaluation->abandoned) return std::nullopt;
        return evaluation->answer;
    }

    static void freeReplies(pam_response* replies, int count)
    {
        for (int i = 0; i < count; ++i) {
            if (replies[i].resp) {
                std::memset(replies[i].resp, 0, std::strlen(replies[i].resp));
                std::free(replies[i].resp);
            }
        }
        std::free(replies);
    }

    static int converse(int count, const pam_message** messages, pam_response** responses, void* data)
    {
        const auto& evaluation = static_cast<ConversationData*>(data)->evaluation;
        if (count <= 0 || count > PAM_MAX_NUM_MSG) return PAM_CONV_ERR;
        auto* replies = static_cast<pam_response*>(std::calloc(size_t(count), sizeof(pam_response)));
        if (!replies) return PAM_BUF_ERR;
        for (int i = 0; i < count; ++i) {
            const pam_message* message = messages[i];
            const QString text = QString::fromLocal8Bit(message->msg ? message->msg : "").trimmed();
            switch (message->msg_style) {
                case PAM_PROMPT_ECHO_OFF:
                case PAM_PROMPT_ECHO_ON: {
                    PasswordPrompt::Request request{evaluation->reason, text, evaluation->problem,
                                                    message->msg_style == PAM_PROMPT_ECHO_ON};
                    evaluation->problem.clear();
                    std::optional<QString> answer = askAndWait(evaluation, request);
                    if (!answer) {
                        evaluation->cancelled = true;
                        freeReplies(replies, count);
                        return PAM_CONV_ERR;
                    }
                    QByteArray bytes = answer->toLocal8Bit();
                    replies[i].resp = strdup(bytes.constData());
                    // PAM has its own copy now; ours (and the dialog's, which share the text) go.
                    ProcessHardening::wipe(bytes);
                    ProcessHardening::wipe(*answer);
                    if (!replies[i].resp) {
                        freeReplies(replies, count);
                        return PAM_BUF_ERR;
                    }
                    break;
                }
                case PAM_ERROR_MSG:
                case PAM_TEXT_INFO:
                    // Shown with the next question (a module's "your password expires soon").
                    if (!text.isEmpty())
                        evaluation->problem +=
                            (evaluation->problem.isEmpty() ? QString() : QStringLiteral("\n")) + text;
                    break;
                default:
                    freeReplies(replies, count);
                    return PAM_CONV_ERR;
            }
        }
        *responses = replies;
        return PAM_SUCCESS;
    }

    static void finish(const std::shared_ptr<Evaluation>& evaluation, Outcome outcome, const QString& detail)
    {
        postToMainThread([evaluation, outcome, detail] {
            if (PamAuthenticator* owner = evaluation->owner.data())
                owner->finishOnMainThread(evaluation, outcome, detail);
        });
    }

    static void run(const std::shared_ptr<Evaluation>& evaluation)
    {
        const QByteArray service = evaluation->service.toLocal8Bit();
        const QByteArray user = evaluation->user.toLocal8Bit();
        for (int attempt = 1;; ++attempt) {
            ConversationData data{evaluation};
            const pam_conv conversation{&PamWorker::converse, &data};
            pam_handle_t* handle = nullptr;
            int code = pam_start(service.constData(), user.constData(), &conversation, &handle);
            if (code != PAM_SUCCESS) {
                finish(evaluation, Outcome::unavailable,
                       stackProblem(QStringLiteral("PAM could not start: ") + pamText(handle, code),
                                    evaluation->serviceFile));
                return;
            }
            // Modules that look at the terminal get the display, as screen lockers give it.
            if (!evaluation->tty.isEmpty()) pam_set_item(handle, PAM_TTY, evaluation->tty.constData());
            // An account without a password never unlocks private notes.
            code = pam_authenticate(handle, PAM_DISALLOW_NULL_AUTHTOK);
            const QString explanation = pamText(handle, code);
            pam_end(handle, code);

            if (evaluation->noPrompt)
                return finish(evaluation, Outcome::unavailable, QStringLiteral("no password prompt can be shown"));
            if (evaluation->cancelled) return finish(evaluation, Outcome::cancelled, {});
            switch (code) {
                case PAM_SUCCESS:
                    return finish(evaluation, Outcome::success, {});
                case PAM_AUTH_ERR:
                case PAM_CRED_INSUFFICIENT:
                    if (attempt < PamAuthenticator::maxAttempts) {
                        evaluation->problem = QStringLiteral("Wrong password. Try again.");
                        continue;
                    }
                    return finish(evaluation, Outcome::failed, {});
                case PAM_MAXTRIES:
                    return finish(evaluation, Outcome::failed, {});
                default:
                    return finish(evaluation, Outcome::unavailable, stackProblem(explanation, evaluation->serviceFile));
            }
        }
    }
};

PamAuthenticator::PamAuthenticator(PromptFactory prompts, Service service, QObject* parent)
    : QObject(parent), m_promptFactory(std::move(prompts)), m_service(std::move(service))
{
}

PamAuthenticator::~PamAuthenticator()
{
    // A worker waiting for an answer gives up; its result is dropped with us.
    for (auto& [evaluation, prompt] : m_running) {
        {
            std::lock_guard lock(evaluation->mutex);
            evaluation->abandoned = true;
            evaluation->changed.notify_all();
        }
        evaluation->done = nullptr;
        if (prompt) prompt->finish();
    }
}

QStringList PamAuthenticator::serviceDirectories()
{
    return {QStringLiteral("/etc/pam.d"), QStringLiteral("/usr/lib/pam.d"), QStringLiteral("/usr/etc/pam.d")};
}

PamAuthenticator::Service PamAuthenticator::defaultService(const QStringList& directories)
{
    auto fileOf = [&](const QString& name) {
        for (const QString& dir : directories)
            if (const QString file = dir + QLatin1Char('/') + name; QFileInfo(file).isFile()) return file;
        return QString();
    };
    if (const QString ours = fileOf(QStringLiteral("tarnwick")); !ours.isEmpty())
        return {QStringLiteral("tarnwick"), ours};
    return {QStringLiteral("login"), fileOf(QStringLiteral("login"))};
}

QString PamAuthenticator::currentUser()
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size_t(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return {};
    return QString::fromLocal8Bit(found->pw_name);
}

Authenticator::Availability PamAuthenticator::availability()
{
    const QString user = currentUser();
    if (user.isEmpty()) return {false, QStringLiteral("the account of this process has no user name")};
    if (!m_promptFactory) return {false, QStringLiteral("no password prompt can be shown")};
    // Starting a transaction is enough to know the stack loads; nothing is asked.
    const pam_conv conversation{[](int, const pam_message**, pam_response**, void*) { return PAM_CONV_ERR; }, nullptr};
    pam_handle_t* handle = nullptr;
    const int code =
        pam_start(m_service.name.toLocal8Bit().constData(), user.toLocal8Bit().constData(), &conversation, &handle);
    const QString explanation = pamText(handle, code);
    if (handle) pam_end(handle, code);
    if (code != PAM_SUCCESS)
        return {false, stackProblem(QStringLiteral("PAM could not start: ") + explanation, m_service.file)};
    return {true, {}};
}

void PamAuthenticator::evaluate(const QString& reason, Completion done)
{
    auto evaluation = std::make_shared<Evaluation>();
    evaluation->service = m_service.name;
    evaluation->serviceFile = m_service.file;
    evaluation->user = currentUser();
    evaluation->reason = reason;
    evaluation->tty = qgetenv("DISPLAY");
    evaluation->owner = this;
    evaluation->done = std::move(done);
    m_running.emplace(evaluation, nullptr);

    if (evaluation->user.isEmpty()) {
        PamWorker::finish(evaluation, Outcome::unavailable,
                          QStringLiteral("the account of this process has no user name"));
        return;
    }
    std::thread([evaluation] { PamWorker::run(evaluation); }).detach();
}

void PamAuthenticator::askOnMainThread(const std::shared_ptr<Evaluation>& evaluation,
                                       const PasswordPrompt::Request& request)
{
    auto running = m_running.find(evaluation);
    if (running == m_running.end()) return deliver(evaluation, std::nullopt);
    if (!running->second && m_promptFactory) running->second = m_promptFactory();
    if (!running->second) {
        evaluation->noPrompt = true;  // read by the worker only after this answer wakes it
        return deliver(evaluation, std::nullopt);
    }
    std::weak_ptr<Evaluation> weak = evaluation;
    running->second->ask(request, [weak](std::optional<QString> text) {
        if (auto evaluation = weak.lock()) deliver(evaluation, std::move(text));
    });
}

void PamAuthenticator::finishOnMainThread(const std::shared_ptr<Evaluation>& evaluation, Outcome outcome,
                                          const QString& detail)
{
    auto running = m_running.find(evaluation);
    if (running == m_running.end()) return;
    std::unique_ptr<PasswordPrompt> prompt = std::move(running->second);
    m_running.erase(running);
    if (prompt) prompt->finish();
    Completion done = std::move(evaluation->done);
    if (done) done(outcome, detail);
}
