// What keeps the user's notes from the machine's other users and from the user's other processes:
// who is at the other end of an endpoint connection, the modes of our files, the process's own
// memory, and where our lock lives.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/PeerCredentials.h"
#include "platform/PrivateFiles.h"
#include "platform/ProcessHardening.h"
#include "platform/SecretServiceKeychainBackend.h"
#include "platform/Settings.h"
#include "support/TestEnvironment.h"

namespace {

int modeOf(const QString& path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return int(st.st_mode & 07777);
}

PeerCredentials::Endpoint v4(const char* address, quint16 port)
{
    PeerCredentials::Endpoint e;
    e.address[10] = e.address[11] = 0xff;
    in_addr in{};
    ::inet_pton(AF_INET, address, &in);
    std::memcpy(e.address.data() + 12, &in, 4);
    e.port = port;
    return e;
}

TEST(PeerCredentials, FindsTheSocketWhoseEndsMirrorOurs)
{
    const quint32 loopback = htonl(INADDR_LOOPBACK);
    const QByteArray hexLoopback = QByteArray::number(loopback, 16).rightJustified(8, '0').toUpper();
    // The server's own socket (uid 1000) and the client's (uid 65534): only the mirrored one counts.
    const QByteArray tcp =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid\n"
        "   0: " +
        hexLoopback + ":BC5B " + hexLoopback +
        ":D4A1 01 00000000:00000000 00:00000000 "
        "00000000  1000        0 1 1 0\n"
        "   1: " +
        hexLoopback + ":D4A1 " + hexLoopback +
        ":BC5B 01 00000000:00000000 00:00000000 "
        "00000000 65534        0 2 1 0\n";
    const auto server = v4("127.0.0.1", 0xBC5B), client = v4("127.0.0.1", 0xD4A1);
    EXPECT_EQ(PeerCredentials::findOwner(tcp, false, client, server), uid_t(65534));
    EXPECT_EQ(PeerCredentials::findOwner(tcp, false, server, client), uid_t(1000));
    EXPECT_FALSE(PeerCredentials::findOwner(tcp, false, client, v4("127.0.0.1", 1)));
    // An IPv6 socket reaching our IPv4 listener appears with a mapped address in tcp6.
    const QByteArray mapped = "0000000000000000FFFF0000" + hexLoopback;
    const QByteArray tcp6 = "header\n   0: " + mapped + ":D4A1 " + mapped + ":BC5B 01 0:0 0:0 0 4242 0 9\n";
    EXPECT_EQ(PeerCredentials::findOwner(tcp6, true, client, server), uid_t(4242));
    EXPECT_FALSE(PeerCredentials::findOwner("header\n garbage line\n", false, client, server));

    // A real connection from this process is ours; a socket that is not connected is nobody's.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = loopback;
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    const int client6 = ::socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_port = address.sin_port;
    ::inet_pton(AF_INET6, "::ffff:127.0.0.1", &to.sin6_addr);
    ASSERT_EQ(::connect(client6, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    const int accepted = ::accept(listener, nullptr, nullptr);
    EXPECT_EQ(PeerCredentials::peerUid(accepted), ::geteuid());
    EXPECT_TRUE(PeerCredentials::isOwnUser(accepted));
    EXPECT_FALSE(PeerCredentials::isOwnUser(listener));
    for (const int fd : {accepted, client6, listener}) ::close(fd);
}

// The exact netlink lookup answers itself (the tables are only a fallback) and agrees with the
// tables; another user's connection is the listener test's.
TEST(PeerCredentials, NetlinkFindsTheSameOwnerAsTheTables)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const int accepted = ::accept(listener, nullptr, nullptr);

    const PeerCredentials::Lookup lookup = PeerCredentials::netlinkPeerUid(accepted);
    EXPECT_EQ(lookup.kind, PeerCredentials::Lookup::Kind::Found) << strerror(lookup.error);
    EXPECT_EQ(lookup.uid, ::geteuid());
    EXPECT_EQ(PeerCredentials::procPeerUid(accepted), ::geteuid());
    // Nothing connected: nobody's, and not a refusal of netlink.
    EXPECT_EQ(PeerCredentials::netlinkPeerUid(listener).kind, PeerCredentials::Lookup::Kind::NotFound);
    for (const int fd : {accepted, client, listener}) ::close(fd);
}

TEST(PrivateFiles, FoldersAndFilesAreTheUsersAloneWhateverTheUmask)
{
    const mode_t umaskBefore = ::umask(022);
    QTemporaryDir root;
    const QString folder = root.filePath("config/tarnwick");
    ASSERT_TRUE(PrivateFiles::makeFolder(folder));
    EXPECT_EQ(modeOf(folder), 0700);
    ASSERT_TRUE(PrivateFiles::createFile(folder + "/made"));
    EXPECT_EQ(modeOf(folder + "/made"), 0600);

    // Settings are written private, and files left readable are made private when they are read.
    FileSettingsBackend settings(folder + "/settings.json");
    ASSERT_TRUE(settings.store({{"mcp.approvedClients", QStringList{"Claude"}}}));
    EXPECT_EQ(modeOf(folder + "/settings.json"), 0600);
    tarnwick::test::writeFile(folder + "/old/leftover", "x");
    ::chmod(QFile::encodeName(folder + "/old").constData(), 0755);
    ::chmod(QFile::encodeName(folder + "/settings.json").constData(), 0644);
    ASSERT_EQ(::symlink("/etc/hostname", QFile::encodeName(folder + "/link").constData()), 0);
    settings.load();
    EXPECT_EQ(modeOf(folder + "/settings.json"), 0600);
    EXPECT_EQ(modeOf(folder + "/old"), 0700);
    EXPECT_EQ(modeOf(folder + "/old/leftover"), 0600);
    EXPECT_NE(modeOf("/etc/hostname"), 0600) << "links are not followed";
    ::umask(umaskBefore);
}

// A link to a file not made yet, in a folder that is itself a link: the file is made where the system
// resolves the link, from the link's real folder, and never at the path its text names beside the link.
TEST(PrivateFiles, ALinkedFileIsMadeWhereTheSystemResolvesIt)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir().mkpath(root.filePath("real/data")) && QDir().mkpath(root.filePath("real/drive")));
    ASSERT_TRUE(QDir().mkpath(root.filePath("drive")));  // where "data/../drive" reads as text
    ASSERT_EQ(::symlink("real/data", QFile::encodeName(root.filePath("data")).constData()), 0);
    const QString link = root.filePath("data/default.store");
    ASSERT_EQ(::symlink("../drive/notes.store", QFile::encodeName(link).constData()), 0);

    QString made;
    ASSERT_TRUE(PrivateFiles::createFile(link, &made));
    EXPECT_EQ(made, QFileInfo(root.path()).canonicalFilePath() + "/real/drive/notes.store");
    EXPECT_EQ(modeOf(made), 0600);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QDir(root.filePath("drive")).isEmpty());

    // A loop is no file to make.
    const QString loop = root.filePath("data/loop");
    ASSERT_EQ(::symlink("loop", QFile::encodeName(loop).constData()), 0);
    EXPECT_FALSE(PrivateFiles::createFile(loop, &made));
    EXPECT_TRUE(made.isEmpty());
}

// The keyring writers' lock: never in a shared folder where another user could hold it first.
TEST(PrivateFiles, TheKeyringLockLivesInAFolderOfOurOwn)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(SecretServiceKeychainBackend::writerLockPath(),
              QString::fromLocal8Bit(runtime) + "/tarnwick-keychain.lock");
    qunsetenv("XDG_RUNTIME_DIR");
    const QString path = SecretServiceKeychainBackend::writerLockPath();
    qputenv("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(path, tarnwick::test::TestEnvironment::dataHome() + "/tarnwick/tarnwick-keychain.lock");
    EXPECT_EQ(modeOf(tarnwick::test::TestEnvironment::dataHome() + "/tarnwick"), 0700);
}

TEST(ProcessHardening, SecretsAreWipedInPlaceAndTheProcessCannotBeDumped)
{
    QString typed = QStringLiteral("correct horse");
    typed.detach();
    QString copy = typed;  // shares the characters, as the copies a password passes through do
    const QChar* characters = copy.constData();
    ProcessHardening::wipe(typed);
    EXPECT_TRUE(typed.isEmpty());
    for (int i = 0; i < 13; ++i) EXPECT_EQ(characters[i], QChar(0));
    QByteArray bytes = QByteArray("correct horse").toUpper();
    const QByteArray shared = bytes;
    ProcessHardening::wipe(bytes);
    EXPECT_EQ(shared, QByteArray(13, '\0'));

    // In a child, so that this test process stays as it was.
    const pid_t child = ::fork();
    if (child == 0) {
        ProcessHardening::apply();
        ::_exit(ProcessHardening::isApplied() && ::prctl(PR_GET_DUMPABLE) == 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!ProcessHardening::kUnderLeakCheck) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_FALSE(ProcessHardening::isApplied());
}

}  // namespace
