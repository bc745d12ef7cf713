#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

#include "mcp/HTTPRequest.h"
#include "mcp/HTTPResponse.h"
#include "mcp/MCPListener.h"
#include "mcp/MCPSessions.h"
#include "mcp/MCPTokenStore.h"

class MCPApprover;
class MCPToolHost;
class Settings;

// The local MCP endpoint: whether it is switched on, its listener and port, the token clients must
// present, and the answers to their requests (request checks, JSON-RPC, the note tools).
// Lives on the main thread; the listener's thread runs the request checks and gives the answers that
// need only the token and the sessions (screen()), so that those cost no hop to the main thread.
class MCPService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(int port READ port NOTIFY portChanged)
    Q_PROPERTY(QString token READ token NOTIFY tokenChanged)
    Q_PROPERTY(QString endpointURL READ endpointURL NOTIFY endpointURLChanged)
public:
    static constexpr quint16 kDefaultPort = 48219;
    // A client name longer than this (in UTF-16 units) is refused; the card fits the rest to its line.
    static constexpr int kMaxClientNameLength = 256;
    // Refused names remembered until quit; beyond this the oldest is forgotten.
    static constexpr int kMaxDeniedNames = 256;

    // Response header lines, written in this order.
    using HeaderList = HTTPHeaderList;

    // The answer to one JSON-RPC call: a result object or an error.
    struct RPCOutcome {
        struct Error {
            int code = 0;
            QString message;
        };
        std::variant<QJsonObject, Error> value;

        static RPCOutcome result(QJsonObject object) { return {std::move(object)}; }
        static RPCOutcome error(int code, QString message) { return {Error{code, std::move(message)}}; }
        bool isError() const { return value.index() == 1; }
        const QJsonObject& resultObject() const { return std::get<0>(value); }
        const Error& errorValue() const { return std::get<1>(value); }
    };

    struct Options {
        quint16 preferredPort = kDefaultPort;
        MCPListener::Limits limits;
    };

    // Reads "mcp.enabled" without starting anything. The token is read or made when the endpoint first
    // starts (or loadToken() is called): the keyring may keep it waiting, and nothing else should.
    MCPService(MCPToolHost& tools, MCPApprover& approval, MCPTokenStore& tokens, Settings& settings,
               QObject* parent = nullptr);
    MCPService(MCPToolHost& tools, MCPApprover& approval, MCPTokenStore& tokens, Settings& settings, Options options,
               QObject* parent = nullptr);
    ~MCPService() override;

    // The user's switch. Every assignment, also of the same value, writes "mcp.enabled" and then
    // starts (true) or stops (false) the listener.
    bool enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    // Whether clients may only read ("mcp.readOnly"; true unless set otherwise).
    bool readOnly() const;

    bool isRunning() const { return m_isRunning; }
    // True after the listener reported that no port could be bound, until the next start or stop.
    bool startFailed() const { return m_startFailed; }
    // The port the listener last reported (the preferred port until then).
    int port() const { return m_port; }
    QString token() const { return m_token; }
    // "http://127.0.0.1:" + port + "/mcp/" + token, whether or not the listener runs.
    QString endpointURL() const;

    // Starts the listener unless one exists, once the token is there. The shell calls it after launch
    // when enabled.
    void start();
    void stop();
    // Reads the token from the keyring, or makes and stores one, unless it is there or on its way.
    // The answer comes later; a start asked for meanwhile follows once the token is stored.
    void loadToken();

    // Takes the client off the approved list and refuses it without asking until quit.
    void revoke(const QString& clientName);
    // Makes a new token and, once the keyring has stored it, publishes it: the old one stops working
    // then. A token the keyring refused is never used (it would be lost at the next launch): the old
    // one stays and tokenError() says why.
    void regenerateToken();
    // Why the last regeneration kept the old token; empty after one that succeeded.
    QString tokenError() const { return m_tokenError; }

    static QString appVersion();
    static const QStringList& supportedProtocols();

    // -- Answering requests

    // Answers one request; done is called once with the response bytes (later, while the user is
    // asked to approve a client).
    void respond(const HTTPRequest& request, std::function<void(const QByteArray&)> done);

    static bool isLocalOrigin(const QString& origin);
    static bool isLocalHost(const QString& value);
    static HeaderList corsHeaders(const HTTPRequest& request);
    bool authTokenValid(const HTTPRequest& request) const;
    static QJsonObject errorEnvelope(const QJsonValue& id, int code, const QString& message);

    // Answers `initialize`; on success `session` is the id of the session opened for the client.
    void handleInitialize(const QJsonObject& params, std::function<void(RPCOutcome, QString session)> done);
    // Whether a client name may be shown to the user: no control or line-breaking characters, and
    // not longer than kMaxClientNameLength.
    static bool isAcceptableClientName(const QString& name);
    // Opens a transport session as an answered `initialize` does (also for tests).
    QString openSession(const QString& clientName) { return m_gate->sessions.open(clientName); }
    int sessionCount() const { return m_gate->sessions.count(); }
    QJsonObject handleToolsList() const;
    RPCOutcome handleToolsCall(const QJsonObject& params);

Q_SIGNALS:
    void enabledChanged(bool enabled);
    void isRunningChanged(bool isRunning);
    void portChanged(int port);
    void tokenChanged(const QString& token);
    void endpointURLChanged(const QString& url);
    void startFailedChanged(bool failed);
    void tokenErrorChanged(const QString& error);

private:
    // What the checks need besides the request: the token and the sessions. The listener's thread
    // reads it too, so the listener shares it rather than reaching into the service.
    struct Gate {
        MCPSessions sessions;
        QString token() const
        {
            std::lock_guard lock(m_mutex);
            return m_token;
        }
        void setToken(const QString& token)
        {
            std::lock_guard lock(m_mutex);
            m_token = token;
        }

    private:
        mutable std::mutex m_mutex;
        QString m_token;
    };
    // A JSON-RPC call that passed every check and needs the main thread's state to be answered.
    struct Call {
        HTTPRequest request;
        QJsonValue id;
        QString method;
        QJsonObject params;
    };
    // Every check of a request, and the answers that need nothing but the gate (refusals, pre-flight,
    // notifications, ending a session, ping, an unknown method); safe on any thread. What is left is
    // the call for answer().
    static std::variant<QByteArray, Call> screen(Gate& gate, const HTTPRequest& request);
    void answer(const Call& call, const std::function<void(const QByteArray&)>& done);
    static bool tokenValid(const HTTPRequest& request, const QString& token);

    QJsonObject searchNotes(const QJsonObject& arguments);
    QJsonObject listNotes(const QJsonObject& arguments);
    RPCOutcome readNote(const QJsonObject& arguments);
    RPCOutcome createNote(const QJsonObject& arguments);
    static RPCOutcome toolContent(const QJsonObject& payload);

    static void finishRequest(const HTTPRequest& request, const QJsonValue& id, const RPCOutcome& outcome,
                              const std::function<void(const QByteArray&)>& done, const HeaderList& extra = {});
    void deny(const QString& clientName);
    QStringList approvedClients() const;
    void setRunning(bool running, quint16 port);
    void setToken(const QString& token);

    static QString newToken();
    // Stores the token, logs a failure, then tells `then` whether the keyring holds it now.
    void persist(const QString& token, std::function<void(bool stored)> then = {});
    void loadOrCreateToken(MCPTokenStore::ReadResult stored);
    void tokenReady(const QString& token);

    MCPToolHost& m_tools;
    MCPApprover& m_approval;
    MCPTokenStore& m_tokens;
    Settings& m_settings;
    Options m_options;
    std::unique_ptr<MCPListener> m_listener;
    // Whether a listener is bound or being bound.
    bool m_listening = false;
    quint16 m_warnedPort = 0;
    QSet<QString> m_sessionDenied;
    QStringList m_deniedOrder;  // oldest first, to bound m_sessionDenied
    std::shared_ptr<Gate> m_gate = std::make_shared<Gate>();
    bool m_isRunning = false;
    bool m_startFailed = false;
    QString m_tokenError;
    void setStartFailed(bool failed);
    void setTokenError(const QString& error);
    int m_port = kDefaultPort;
    QString m_token;
    bool m_enabled = false;
    bool m_tokenLoading = false;
    bool m_startWhenTokenReady = false;
    bool m_toldOfKeyringWait = false;
};
