#include "mcp/MCPApprovalController.h"

#include <QPointer>

#include "mcp/MCPApprovalPresenter.h"

MCPApprovalController::MCPApprovalController(Clock& clock, QObject* parent) : QObject(parent), m_clock(clock) {}

MCPApprovalController::~MCPApprovalController()
{
    // Waiting requests are not answered: whoever waits for them goes with the application.
    m_timeout.cancel();
    if (!m_queue.isEmpty() && m_presenter) m_presenter->hide();
}

void MCPApprovalController::setPresenter(std::unique_ptr<MCPApprovalPresenter> presenter)
{
    m_presenter = std::move(presenter);
}

void MCPApprovalController::request(const QString& clientName, const QString& scope, std::function<void(Answer)> done)
{
    if (!m_presenter) {
        done(Answer::unanswered);
        return;
    }
    for (Pending& pending : m_queue) {
        if (pending.clientName == clientName && pending.scope == scope) {
            pending.done.append(std::move(done));
            return;
        }
    }
    if (m_queue.size() > kMaxWaiting) {
        done(Answer::unanswered);
        return;
    }
    m_queue.append(Pending{clientName, scope, {std::move(done)}});
    if (m_queue.size() == 1) showNext();
}

void MCPApprovalController::showNext()
{
    if (m_queue.isEmpty() || !m_presenter) return;
    const quint64 serial = ++m_serial;
    QPointer<MCPApprovalController> self(this);
    const Pending& front = m_queue.first();
    m_presenter->show(front.clientName, front.scope, [self, serial](bool allow) {
        if (self) self->finish(serial, allow ? Answer::allowed : Answer::denied);
    });
    // Each card has its own minute, counted from when it shows.
    m_timeout = m_clock.after(kTimeoutMs, this, [this, serial] { finish(serial, Answer::unanswered); });
}

void MCPApprovalController::finish(quint64 serial, Answer answer)
{
    // A second press, or a time-out after an answer, finds another card (or none) on screen.
    if (m_queue.isEmpty() || serial != m_serial) return;
    const Pending answered = m_queue.takeFirst();
    m_timeout.cancel();
    m_timeout = {};
    if (m_presenter) m_presenter->hide();
    // The next card is up before the answers run: a request they make joins the queue behind it.
    showNext();
    for (const auto& done : answered.done) done(answer);
}
