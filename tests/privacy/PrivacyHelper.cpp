// Runs one keychain, sealing or authentication step in a process of its own, for tests that need a
// second process, another session bus, a resource limit or a preloaded PAM wrapper.
//   privacy_helper seal TEXT | open HEX
//   privacy_helper write SERVICE ACCOUNT VALUE | read SERVICE ACCOUNT SYNC | readall SERVICE SYNC
//   privacy_helper file-replace PATH SERVICE ACCOUNT SIZE
//   privacy_helper pam SERVICE ANSWER...   (an answer of CANCEL cancels the prompt)
// Keychain commands print "backend=<kind>" first. Exit status 0 on success.
#include <csignal>
#include <cstdio>
#include <deque>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "keys/CryptoBox.h"
#include "keys/KeychainStore.h"
#include "platform/FileKeychainBackend.h"
#include "platform/PamAuthenticator.h"

namespace {

void out(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
}

// In the order the enumerations declare them.
QString kindName(KeychainBackend::Kind kind)
{
    return QStringList{"secretService", "file", "memory"}.value(int(kind));
}

QString outcomeName(Authenticator::Outcome outcome)
{
    return QStringList{"success", "failed", "cancelled", "unavailable"}.value(int(outcome));
}

// Answers each question with the next scripted answer, as a person typing would (later, not inside ask).
class ScriptedPrompt : public PasswordPrompt {
public:
    ScriptedPrompt(std::deque<QString>* answers, QStringList* problems) : m_answers(answers), m_problems(problems) {}
    void ask(const Request& request, Answer answer) override
    {
        *m_problems << request.problem;
        std::optional<QString> text;
        if (!m_answers->empty() && m_answers->front() != "CANCEL") text = m_answers->front();
        if (!m_answers->empty()) m_answers->pop_front();
        QTimer::singleShot(0, [answer, text] { answer(text); });
    }
    void finish() override {}

private:
    std::deque<QString>* m_answers;
    QStringList* m_problems;
};

int pam(const QStringList& args)
{
    std::deque<QString> answers(args.begin() + 1, args.end());
    QStringList problems;
    // Under pam_wrapper the service files are in its own folder.
    const QString services = qEnvironmentVariable("PAM_WRAPPER_SERVICE_DIR");
    PamAuthenticator::Service service{args.value(0), {}};
    if (!services.isEmpty()) service.file = services + QLatin1Char('/') + service.name;
    PamAuthenticator authenticator([&] { return std::make_unique<ScriptedPrompt>(&answers, &problems); }, service);
    QEventLoop loop;
    QString result;
    authenticator.evaluate("Unlock this note", [&](Authenticator::Outcome outcome, const QString& detail) {
        result =
            QStringLiteral("outcome=%1 asks=%2 detail=%3").arg(outcomeName(outcome)).arg(problems.size()).arg(detail);
        loop.quit();
    });
    loop.exec();
    out(result);
    for (const QString& problem : problems) out("problem=" + problem);
    return 0;
}

int keychain(const QString& command, const QStringList& args)
{
    out("backend=" + kindName(KeychainStore::backendKind()));
    // A command-line tool: nothing waits while the keyring prompts.
    const CryptoBox::AskHere askHere;
    if (command == "seal") {
        auto sealed = CryptoBox::seal(args.value(0).toUtf8());
        if (!sealed) return out("error: " + CryptoBox::describe(sealed.error())), 1;
        out(QString::fromLatin1(sealed->toHex()));
    } else if (command == "open") {
        auto opened = CryptoBox::open(QByteArray::fromHex(args.value(0).toLatin1()));
        if (!opened) return out("error: " + CryptoBox::describe(opened.error())), 1;
        out(QString::fromUtf8(*opened));
    } else if (command == "write") {
        auto written = KeychainStore::write(args.value(2).toUtf8(), args.value(0), args.value(1));
        if (!written) return out("error: " + written.error().description()), 1;
    } else if (command == "add") {
        auto added = KeychainStore::add(args.value(2).toUtf8(), args.value(0), args.value(1));
        if (!added) return out("error: " + added.error().description()), 1;
    } else if (command == "read") {
        auto read = KeychainStore::read(args.value(0), args.value(1), args.value(2) == "1");
        if (!read) return out("error: " + read.error().description()), 1;
        out(QString::fromUtf8(*read));
    } else if (command == "readall") {
        auto all = KeychainStore::readAll(args.value(0), args.value(1) == "1");
        if (!all) return out("error: " + all.error().description()), 1;
        for (const KeychainStore::Item& item : *all) out(item.account + "=" + QString::fromUtf8(item.data));
    } else {
        return out("unknown command " + command), 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) return 2;
    const QString command = args.takeFirst();

    if (command == "pam") return pam(args);
    if (command == "pam-availability") {
        const QString services = qEnvironmentVariable("PAM_WRAPPER_SERVICE_DIR");
        PamAuthenticator::Service service{args.value(0), {}};
        if (!services.isEmpty()) service.file = services + QLatin1Char('/') + service.name;
        PamAuthenticator authenticator([] { return std::unique_ptr<PasswordPrompt>(); }, service);
        const Authenticator::Availability availability = authenticator.availability();
        return out(QStringLiteral("available=%1 reason=%2").arg(int(availability.available)).arg(availability.reason)),
               0;
    }
    if (command == "file-replace") {
        // Past the size limit a write fails with EFBIG instead of the process being killed.
        std::signal(SIGXFSZ, SIG_IGN);
        FileKeychainBackend backend(args.value(0));
        auto replaced = backend.replace(args.value(1), args.value(2), QByteArray(args.value(3).toInt(), 'x'));
        if (!replaced) return out("replace failed: " + replaced.error().message), 1;
        return out("replaced"), 0;
    }
    return keychain(command, args);
}
