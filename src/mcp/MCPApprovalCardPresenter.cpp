#include "mcp/MCPApprovalCardPresenter.h"

MCPApprovalCardPresenter::~MCPApprovalCardPresenter()
{
    delete m_card.data();
}

void MCPApprovalCardPresenter::show(const QString& clientName, const QString& scope, std::function<void(bool)> answer)
{
    hide();
    auto* card = new MCPApprovalCard(clientName, scope);
    QObject::connect(card, &MCPApprovalCard::allowed, card, [answer] { answer(true); });
    QObject::connect(card, &MCPApprovalCard::denied, card, [answer] { answer(false); });
    m_card = card;
    card->present(m_settings, m_previous);
}

void MCPApprovalCardPresenter::hide()
{
    if (!m_card) return;
    MCPApprovalCard* card = m_card;
    m_card = nullptr;
    m_previous = card;
    // The card may be hiding from inside its own button handler: delete it once that has returned.
    card->disconnect();
    card->hide();
    card->deleteLater();
}
