#include "mcp/MCPApprovalController.h"

#include <QPointer>

#include "mcp/MCPApprovalPresenter.h"

MCPApprovalController::MCPApprovalController(Clock& clock, QObject* parent) : QObject(parent), m_clock(clock) {}

MCPApprovalController::~MCPApprovalController()
{
    // A waiting request is not answered: whoever waits for it goes with the application.
    m_timeout.cancel();
    if (m_pending && m_presenter) m_presenter->hide();
}

void MCPApprovalController::setPresenter(std::unique_ptr<MCPApprovalPresenter> presenter)
{
    m_presenter = std::move(presenter);
}

void MCPApprovalController::request(const QString& clientName, const QString& scope, std::function<void(bool)> done)
{
    if (m_pending || !m_presenter) {
        done(false);
        return;
    }
    const quint64 serial = ++m_serial;
    m_pending = std::move(done);
    QPointer<MCPApprovalController> self(this);
    m_presenter->show(clientName, scope, [self, serial](bool answer) {
        if (self) self->finish(serial, answer);
    });
    m_timeout = m_clock.after(kTimeoutMs, this, [this, serial] { finish(serial, false); });
}

void MCPApprovalController::finish(quint64 serial, bool answer)
{
    // A second press, or a time-out after an answer, finds nothing (or another card) pending.
    if (!m_pending || serial != m_serial) return;
    std::function<void(bool)> done = std::move(m_pending);
    m_pending = nullptr;
    m_timeout.cancel();
    m_timeout = {};
    if (m_presenter) m_presenter->hide();
    done(answer);
}
