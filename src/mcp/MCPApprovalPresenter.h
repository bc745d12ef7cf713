#pragma once

#include <QString>
#include <functional>

// Puts the approval card on screen for the approval controller; the widget side implements it.
class MCPApprovalPresenter {
public:
    virtual ~MCPApprovalPresenter() = default;
    // Shows a new card. The card calls answer(true) for "Allow" and answer(false) for "Deny".
    virtual void show(const QString& clientName, const QString& scope, std::function<void(bool)> answer) = 0;
    // Takes the card off screen.
    virtual void hide() = 0;
};
