#include "mcp/MCPService.h"

#include <QPointer>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTimer>

#include "mcp/MCPTokenStore.h"
#include "platform/Log.h"
#include "platform/Settings.h"

namespace {
const QString kEnabledKey = QStringLiteral("mcp.enabled");
const QString kReadOnlyKey = QStringLiteral("mcp.readOnly");
const QString kApprovedKey = QStringLiteral("mcp.approvedClients");
const QString kLegacyTokenKey = QStringLiteral("mcp.token");
// How long the keyring may take before the log says the endpoint is waiting for it.
constexpr int kKeyringPatienceMs = 1500;
const QString kRefusedTokenNotice =
    QStringLiteral("The keyring could not store the token; this address works until Tarnwick quits.");
}  // namespace

MCPService::MCPService(MCPToolHost& tools, MCPApprover& approval, MCPTokenStore& tokens, Settings& settings,
                       QObject* parent)
    : MCPService(tools, approval, tokens, settings, Options{}, parent)
{
}

MCPService::MCPService(MCPToolHost& tools, MCPApprover& approval, MCPTokenStore& tokens, Settings& settings,
                       Options options, QObject* parent)
    : QObject(parent),
      m_tools(tools),
      m_approval(approval),
      m_tokens(tokens),
      m_settings(settings),
      m_options(options),
      m_port(options.preferredPort)
{
    m_enabled = m_settings.boolValue(kEnabledKey);
    // The switch turned in the settings file by hand counts as turned here.
    connect(&m_settings, &Settings::valueChanged, this, [this](const QString& key) {
        if (key == kEnabledKey && m_settings.boolValue(kEnabledKey) != m_enabled)
            setEnabled(m_settings.boolValue(kEnabledKey));
        // Approval taken back anywhere (the settings window or a hand edit of the file) ends the
        // sessions it let in, as revoke() does.
        if (key == kApprovedKey) m_gate->sessions.keepOnly(approvedClients());
    });
}

MCPService::~MCPService() = default;

void MCPService::setEnabled(bool enabled)
{
    const bool changed = enabled != m_enabled;
    m_enabled = enabled;
    m_settings.setValue(kEnabledKey, enabled);
    if (changed) Q_EMIT enabledChanged(enabled);
    if (enabled) {
        start();
        return;
    }
    stop();
    // A client let in before the switch went off asks again when it comes back on.
    m_gate->sessions.endAll();
}

bool MCPService::readOnly() const
{
    // Writing must be switched on explicitly: anything but a stored false keeps clients reading only.
    return m_settings.boolIfStored(kReadOnlyKey).value_or(true);
}

QString MCPService::endpointURL() const
{
    return QStringLiteral("http://127.0.0.1:") + QString::number(m_port) + QStringLiteral("/mcp/") + m_token;
}

void MCPService::start()
{
    if (m_listening) return;
    if (m_token.isEmpty()) {
        m_startWhenTokenReady = true;
        loadToken();
        return;
    }
    if (!m_listener) {
        QPointer<MCPService> self(this);
        // The checks, and the answers that need nothing more, run on the listener's thread: a ping
        // then costs no hop to the main thread and back. The rest is answered here.
        m_listener = std::make_unique<MCPListener>(
            MCPListener::Screen([self, gate = m_gate](
                                    const HTTPRequest& request) -> std::variant<QByteArray, MCPListener::Later> {
                std::variant<QByteArray, Call> screened = screen(*gate, request);
                if (auto* bytes = std::get_if<QByteArray>(&screened)) return std::move(*bytes);
                return MCPListener::Later([self, call = std::get<Call>(std::move(screened))](MCPListener::Reply reply) {
                    if (!self) {
                        reply(rawResponse(503, QStringLiteral("Service Unavailable"), std::nullopt, std::nullopt, {}));
                        return;
                    }
                    self->answer(call, reply);
                });
            }),
            m_options.limits);
    }
    m_listening = true;
    setStartFailed(false);
    QPointer<MCPService> self(this);
    m_listener->start(m_options.preferredPort, [self](bool ready, quint16 port) {
        if (!self) return;
        if (!ready) self->m_listening = false;
        self->setStartFailed(!ready);
        // A client set up for the usual port fails on another one; say why, once per port.
        if (ready && port != self->m_options.preferredPort && port != self->m_warnedPort) {
            self->m_warnedPort = port;
            qCWarning(Log::app, "MCP port %u is taken by another process; listening on %u instead.",
                      unsigned(self->m_options.preferredPort), unsigned(port));
        }
        self->setRunning(ready, port);
    });
}

void MCPService::stop()
{
    m_startWhenTokenReady = false;
    if (m_listener) m_listener->stop();
    m_listening = false;
    setStartFailed(false);
    setRunning(false, quint16(m_port));
}

void MCPService::setStartFailed(bool failed)
{
    if (failed == m_startFailed) return;
    m_startFailed = failed;
    Q_EMIT startFailedChanged(failed);
}

void MCPService::setRunning(bool running, quint16 port)
{
    if (port != m_port) {
        m_port = port;
        Q_EMIT portChanged(m_port);
        Q_EMIT endpointURLChanged(endpointURL());
    }
    if (running != m_isRunning) {
        m_isRunning = running;
        Q_EMIT isRunningChanged(running);
    }
}

QStringList MCPService::approvedClients() const
{
    return m_settings.stringListValue(kApprovedKey);
}

void MCPService::revoke(const QString& clientName)
{
    QStringList approved = approvedClients();
    approved.removeAll(clientName);
    m_settings.setValue(kApprovedKey, approved);
    deny(clientName);
    // A client whose approval is taken back loses the sessions it holds now, not at the next launch.
    m_gate->sessions.endClient(clientName);
}

void MCPService::deny(const QString& clientName)
{
    if (m_sessionDenied.contains(clientName)) return;
    m_sessionDenied.insert(clientName);
    m_deniedOrder.append(clientName);
    while (m_deniedOrder.size() > kMaxDeniedNames) m_sessionDenied.remove(m_deniedOrder.takeFirst());
}

void MCPService::regenerateToken()
{
    const QString token = newToken();
    QPointer<MCPService> self(this);
    m_tokens.writeLater(token.toUtf8(), this, [self, token](Status<QString> stored) {
        if (!self) return;
        if (!stored) {
            qCWarning(Log::app, "Could not store the new MCP token in the keyring: %s", qUtf8Printable(stored.error()));
            self->setTokenError(QStringLiteral("The keyring refused the new token; the current address still works."));
            return;
        }
        self->setTokenError({});
        // An older token still waiting in the settings file to move is no longer the token.
        self->m_settings.remove(kLegacyTokenKey);
        self->setToken(token);
    });
}

void MCPService::setTokenError(const QString& error)
{
    if (error == m_tokenError) return;
    m_tokenError = error;
    Q_EMIT tokenErrorChanged(error);
}

void MCPService::loadToken()
{
    if (!m_token.isEmpty() || m_tokenLoading) return;
    m_tokenLoading = true;
    QTimer::singleShot(kKeyringPatienceMs, this, [this] {
        if (!m_tokenLoading || m_toldOfKeyringWait) return;
        m_toldOfKeyringWait = true;
        qCInfo(Log::app,
               "The MCP endpoint waits for the desktop keyring (it may be locked, asking for a password, "
               "or have no default collection yet).");
    });
    m_tokens.readLater(this, [this](MCPTokenStore::ReadResult stored) { loadOrCreateToken(std::move(stored)); });
}

void MCPService::tokenReady(const QString& token)
{
    m_tokenLoading = false;
    // A token regenerated while the keyring was being read is the newer one.
    if (m_token.isEmpty()) setToken(token);
    if (std::exchange(m_startWhenTokenReady, false)) start();
}

void MCPService::setToken(const QString& token)
{
    if (token == m_token) return;
    m_token = token;
    m_gate->setToken(token);
    Q_EMIT tokenChanged(m_token);
    Q_EMIT endpointURLChanged(endpointURL());
}

QString MCPService::appVersion()
{
    const QString version = QStringLiteral(TARNWICK_VERSION);
    return version.isEmpty() ? QStringLiteral("1.0") : version;
}

const QStringList& MCPService::supportedProtocols()
{
    static const QStringList versions{QStringLiteral("2025-11-25"), QStringLiteral("2025-06-18"),
                                      QStringLiteral("2025-03-26"), QStringLiteral("2024-11-05")};
    return versions;
}

QString MCPService::newToken()
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    constexpr quint64 n = sizeof alphabet - 1;
    // Multiply-and-shift picks an index from the high half of r * n; rejecting the few low halves
    // below 2^64 mod n leaves every index equally likely.
    constexpr quint64 threshold = (0 - n) % n;
    QString token;
    token.reserve(24);
    QRandomGenerator* random = QRandomGenerator::system();  // the kernel's CSPRNG
    for (int i = 0; i < 24; ++i) {
        for (;;) {
            const unsigned __int128 product = (unsigned __int128)random->generate64() * n;
            if (quint64(product) < threshold) continue;
            token.append(QLatin1Char(alphabet[quint64(product >> 64)]));
            break;
        }
    }
    return token;
}

void MCPService::persist(const QString& token, std::function<void(bool stored)> then)
{
    m_tokens.writeLater(token.toUtf8(), this, [then = std::move(then)](Status<QString> stored) {
        if (!stored)
            qCWarning(Log::app, "Could not store the MCP token in the keyring: %s", qUtf8Printable(stored.error()));
        if (then) then(bool(stored));
    });
}

void MCPService::loadOrCreateToken(MCPTokenStore::ReadResult read)
{
    const QString legacy = m_settings.stringValue(kLegacyTokenKey);
    if (!read) {
        // A keyring that could not be read may well hold the token: it is never written over. A token
        // still in the settings file is the one clients were given, and it lasts; otherwise this run
        // answers to a token of its own, and the stored one is read again at the next launch.
        qCWarning(Log::app, "Could not read the MCP token from the keyring: %s; %s", qUtf8Printable(read.error()),
                  legacy.isEmpty() ? "a token for this run only is used." : "the token in the settings file is used.");
        if (!legacy.isEmpty()) return tokenReady(legacy);
        setTokenError(QStringLiteral("The keyring could not be read; this address works until Tarnwick quits."));
        return tokenReady(newToken());
    }
    const std::optional<QByteArray>& stored = *read;
    if (stored && !stored->isEmpty()) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString token = decoder(*stored);
        if (!decoder.hasError() && !token.isEmpty()) return tokenReady(token);
    }
    if (!legacy.isEmpty()) {
        // The settings file keeps its copy until the keyring holds the token: the next launch tries again.
        persist(legacy, [this, legacy](bool moved) {
            if (moved) {
                m_settings.remove(kLegacyTokenKey);
                qCInfo(Log::app, "Moved the MCP token out of the settings file into the keyring.");
            }
            tokenReady(legacy);
        });
        return;
    }
    const QString token = newToken();
    persist(token, [this, token](bool stored) {
        // Nothing keeps a token the keyring refused: the next launch makes another.
        if (!stored) setTokenError(kRefusedTokenNotice);
        tokenReady(token);
    });
}
