#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "mcp/MCPApprover.h"
#include "platform/Clock.h"

class MCPApprovalPresenter;

// Asks the user, one client at a time, whether a new client may use the local endpoint. A request
// made while another is waiting is refused at once; a card nobody answers is refused after a minute.
class MCPApprovalController : public QObject, public MCPApprover {
    Q_OBJECT
public:
    static constexpr qint64 kTimeoutMs = 60'000;

    explicit MCPApprovalController(Clock& clock, QObject* parent = nullptr);
    ~MCPApprovalController() override;

    // The card on screen. Without one, requests are refused at once (nobody could answer them).
    void setPresenter(std::unique_ptr<MCPApprovalPresenter> presenter);

    void request(const QString& clientName, const QString& scope, std::function<void(bool)> done) override;
    bool isPending() const { return bool(m_pending); }

private:
    void finish(quint64 serial, bool answer);

    Clock& m_clock;
    std::unique_ptr<MCPApprovalPresenter> m_presenter;
    std::function<void(bool)> m_pending;
    // Tells the answers of one card from those of the next.
    quint64 m_serial = 0;
    TimerHandle m_timeout;
};
