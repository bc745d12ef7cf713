#include "platform/PamAuthenticator.h"

#include <dlfcn.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
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

QStringList PamAuthenticator::moduleDirectories()
{
    return {QStringLiteral("/lib/x86_64-linux-gnu/security"),
            QStringLiteral("/usr/lib/x86_64-linux-gnu/security"),
            QStringLiteral("/lib/aarch64-linux-gnu/security"),
            QStringLiteral("/usr/lib/aarch64-linux-gnu/security"),
            QStringLiteral("/lib64/security"),
            QStringLiteral("/usr/lib64/security"),
            QStringLiteral("/lib/security"),
            QStringLiteral("/usr/lib/security")};
}

namespace {

void readStack(const QString& path, const QStringList& moduleDirs, int depth, PamAuthenticator::AuthStack& stack)
{
    if (!stack.problem.isEmpty()) return;
    if (depth > 8) {
        stack.problem = QStringLiteral("includes nest too deep at %1").arg(path);
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        stack.problem = QStringLiteral("%1 cannot be read").arg(path);
        return;
    }
    const QString folder = QFileInfo(path).absolutePath();
    const auto beside = [&](const QString& name) { return QDir::isAbsolutePath(name) ? name : folder + '/' + name; };
    // type, control (a word or a [bracketed] list), module
    static const QRegularExpression line(QStringLiteral("^(-?)(\\S+)\\s+(\\[[^\\]]*\\]|\\S+)\\s+(\\S+)"));
    const QStringList lines = QString::fromLocal8Bit(file.readAll()).split('\n');
    for (QString text : lines) {
        text = text.section('#', 0, 0).trimmed();
        if (text.isEmpty()) continue;
        if (text.startsWith(QLatin1String("@include"))) {
            readStack(beside(text.section(QRegularExpression(QStringLiteral("\\s+")), 1, 1)), moduleDirs, depth + 1,
                      stack);
            if (!stack.problem.isEmpty()) return;
            continue;
        }
        const QRegularExpressionMatch m = line.match(text);
        if (!m.hasMatch() || m.captured(2).toLower() != QLatin1String("auth")) continue;
        const bool optional = !m.captured(1).isEmpty();
        const QString control = m.captured(3), module = m.captured(4);
        if (control == QLatin1String("include") || control == QLatin1String("substack")) {
            readStack(beside(module), moduleDirs, depth + 1, stack);
            if (!stack.problem.isEmpty()) return;
            continue;
        }
        QString found;
        if (QDir::isAbsolutePath(module)) {
            if (QFileInfo(module).isFile()) found = module;
        } else {
            for (const QString& dir : moduleDirs)
                if (QFileInfo(dir + '/' + module).isFile()) {
                    found = dir + '/' + module;
                    break;
                }
        }
        if (found.isEmpty()) {
            if (optional) continue;  // "-auth": PAM skips a module it cannot find
            stack.problem = QStringLiteral("the module %1 is missing").arg(module);
            return;
        }
        stack.modules << found;
    }
}

}  // namespace

PamAuthenticator::AuthStack PamAuthenticator::readAuthStack(const QString& serviceFile,
                                                            const QStringList& moduleDirectories)
{
    AuthStack stack;
    readStack(serviceFile, moduleDirectories, 0, stack);
    if (stack.problem.isEmpty() && stack.modules.isEmpty()) stack.problem = QStringLiteral("it checks no password");
    if (!stack.problem.isEmpty()) stack.modules.clear();
    return stack;
}

Authenticator::Availability PamAuthenticator::availability()
{
    const QString user = currentUser();
    if (user.isEmpty()) return {false, QStringLiteral("the account of this process has no user name")};
    if (!m_promptFactory) return {false, QStringLiteral("no password prompt can be shown")};

    // The service's file as PAM will read it (a test session's pam_wrapper reads its own folder), or
    // "other", which PAM falls back to.
    QString serviceFile = m_service.file;
    if (const QByteArray wrapped = qgetenv("PAM_WRAPPER_SERVICE_DIR"); !wrapped.isEmpty())
        serviceFile = QString::fromLocal8Bit(wrapped) + '/' + m_service.name;
    if (!serviceFile.isEmpty() && !QFileInfo(serviceFile).isFile()) serviceFile.clear();
    if (serviceFile.isEmpty()) {
        for (const QString& dir : serviceDirectories())
            if (QFileInfo(dir + QStringLiteral("/other")).isFile()) {
                serviceFile = dir + QStringLiteral("/other");
                break;
            }
    }
    if (serviceFile.isEmpty())
        return {false, QStringLiteral("PAM has no configuration for the service \"%1\"").arg(m_service.name)};
    // The files first: a missing module or include is found without starting PAM at all.
    const AuthStack stack = readAuthStack(serviceFile, moduleDirectories());
    if (!stack.problem.isEmpty())
        return {false, stackProblem(QStringLiteral("the PAM stack cannot be used: ") + stack.problem, serviceFile)};

    // Starting a transaction loads the stack's modules; nothing is asked and no login is attempted.
    const pam_conv conversation{[](int, const pam_message**, pam_response**, void*) { return PAM_CONV_ERR; }, nullptr};
    pam_handle_t* handle = nullptr;
    const int code =
        pam_start(m_service.name.toLocal8Bit().constData(), user.toLocal8Bit().constData(), &conversation, &handle);
    const QString explanation = pamText(handle, code);
    QStringList unloaded;
    int loaded = 0;
    if (code == PAM_SUCCESS) {
        // A module PAM could not load (a broken file, a missing library of its own) is not in memory now.
        for (const QString& module : stack.modules) {
            if (void* lib = dlopen(QFile::encodeName(module).constData(), RTLD_LAZY | RTLD_NOLOAD)) {
                dlclose(lib);
                ++loaded;
            } else {
                unloaded << QFileInfo(module).fileName();
            }
        }
    }
    if (handle) pam_end(handle, code);
    if (code != PAM_SUCCESS)
        return {false, stackProblem(QStringLiteral("PAM could not start: ") + explanation, serviceFile)};
    // Only where this PAM loads modules as it starts (then at least one is in memory) does a module
    // that is not say something.
    if (loaded > 0 && !unloaded.isEmpty())
        return {false,
                stackProblem(QStringLiteral("PAM could not load ") + unloaded.join(QStringLiteral(", ")), serviceFile)};
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
