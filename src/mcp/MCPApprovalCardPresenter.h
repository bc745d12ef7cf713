#pragma once

#include <QPointer>

#include "mcp/MCPApprovalCard.h"
#include "mcp/MCPApprovalPresenter.h"

class Settings;

// Shows the approval controller's questions as approval cards, a new card each time.
class MCPApprovalCardPresenter : public MCPApprovalPresenter {
public:
    explicit MCPApprovalCardPresenter(const Settings& settings) : m_settings(settings) {}
    ~MCPApprovalCardPresenter() override;
    void show(const QString& clientName, const QString& scope, std::function<void(bool)> answer) override;
    void hide() override;

    MCPApprovalCard* card() const { return m_card; }

private:
    const Settings& m_settings;
    QPointer<MCPApprovalCard> m_card;
    // The card just hidden, until it is deleted: the next card in the queue may follow it at once.
    QPointer<MCPApprovalCard> m_previous;
};
