#pragma once

#include "design/KeyablePanel.h"
#include "platform/FocusReturn.h"

#include <optional>

class Settings;

class QLabel;
class QPushButton;

// The card that asks whether a new client may read the notes: the client's name, the access it
// would get, "Deny" and "Allow". It floats above other windows, frameless, and takes the keyboard
// so that Return allows and Escape denies at once.
class MCPApprovalCard : public KeyablePanel {
    Q_OBJECT
public:
    static constexpr int kWidth = 360;

    MCPApprovalCard(const QString& clientName, const QString& scope, QWidget* parent = nullptr);

    // The symbol shown beside the scope: "square.and.pencil" when the access includes writing, else "eye".
    QString scopeSymbol() const { return m_scopeSymbol; }
    QLabel* headline() const { return m_headline; }
    QPushButton* allowButton() const { return m_allow; }
    QPushButton* denyButton() const { return m_deny; }

    // Centres the card on the primary screen's free area and shows it with the keyboard focus.
    // Centred on the primary screen, kept out of screen sharing as `settings` ask. `previous` is the card
    // answered just before, when this one follows it at once.
    void present(const Settings& settings, const MCPApprovalCard* previous = nullptr);

Q_SIGNALS:
    void allowed();
    void denied();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void answer(bool allow);
    // Sets the headline for a label `lineWidth` wide.
    void fitHeadline(int lineWidth);

    QString m_clientName;
    QString m_scopeSymbol;
    QLabel* m_headline = nullptr;
    QPushButton* m_allow = nullptr;
    QPushButton* m_deny = nullptr;
    bool m_answered = false;
    // The answering key pressed on this card and not yet released, with the answer it gave as it went down.
    struct Press {
        int key = 0;
        bool allow = false;
    };
    std::optional<Press> m_pressed;
    // The window that had the keyboard when the card took it, given it back when the card goes; and a
    // copy kept for a card that follows this one at once.
    FocusReturn m_focusReturn;
    FocusReturn m_opener;
};
