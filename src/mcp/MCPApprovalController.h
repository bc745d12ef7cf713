#pragma once

#include <QList>
#include <QObject>
#include <functional>
#include <memory>

#include "mcp/MCPApprover.h"
#include "platform/Clock.h"

class MCPApprovalPresenter;

// Asks the user, one card at a time, whether a new client may use the local endpoint. A request made
// while a card is showing waits its turn in a short queue (two clients starting at once both get a
// card); one for a name already waiting shares that name's card instead of asking twice. Each card
// nobody answers is given up a minute after it shows.
class MCPApprovalController : public QObject, public MCPApprover {
    Q_OBJECT
public:
    static constexpr qint64 kTimeoutMs = 60'000;
    // Requests waiting behind the card on screen; more are answered at once as unanswered.
    static constexpr int kMaxWaiting = 4;

    explicit MCPApprovalController(Clock& clock, QObject* parent = nullptr);
    ~MCPApprovalController() override;

    // The card on screen. Without one, requests are refused at once (nobody could answer them).
    void setPresenter(std::unique_ptr<MCPApprovalPresenter> presenter);

    void request(const QString& clientName, const QString& scope, std::function<void(Answer)> done) override;
    bool isPending() const { return !m_queue.isEmpty(); }
    int waiting() const { return std::max<int>(int(m_queue.size()) - 1, 0); }

private:
    struct Pending {
        QString clientName;
        QString scope;
        QList<std::function<void(Answer)>> done;
    };
    void showNext();
    void finish(quint64 serial, Answer answer);

    Clock& m_clock;
    std::unique_ptr<MCPApprovalPresenter> m_presenter;
    // The card on screen first, then those waiting.
    QList<Pending> m_queue;
    // Tells the answers of one card from those of the next.
    quint64 m_serial = 0;
    TimerHandle m_timeout;
};
