#pragma once

#include <QDialog>
#include <QPointer>

#include "platform/FocusReturn.h"
#include "platform/PasswordPrompt.h"

class QLabel;
class QLineEdit;
class QPushButton;

// The application's own password window: the reason, the authentication service's prompt, a password
// field and any problem with the previous answer. It stays up between attempts, with its field
// disabled while a password is checked.
class PasswordDialog : public QDialog, public PasswordPrompt {
    Q_OBJECT
public:
    explicit PasswordDialog(QWidget* parent = nullptr);
    ~PasswordDialog() override;

    // The window that asks next (a note window): the next dialog built is transient for it, centred over
    // it, gives the focus back to it when it closes, and gives up (as Cancel) when that window closes
    // first. Without one, the active window at construction is taken.
    static void setNextOwner(QWidget* window);
    QWidget* owner() const { return m_owner; }

    void ask(const Request& request, Answer answer) override;
    void finish() override;

    void accept() override;
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setOwner(QWidget* owner);
    void placeOverOwner();
    void answerWith(std::optional<QString> text);

    QPointer<QWidget> m_owner;
    FocusReturn m_focusReturn;
    QLabel* m_intro = nullptr;
    QLabel* m_reason = nullptr;
    QLabel* m_label = nullptr;
    QLineEdit* m_field = nullptr;
    QLabel* m_problem = nullptr;
    QPushButton* m_okButton = nullptr;
    Answer m_answer;
};
