#pragma once

#include <QDialog>

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

    void ask(const Request& request, Answer answer) override;
    void finish() override;

    void accept() override;
    void reject() override;

private:
    void answerWith(std::optional<QString> text);

    QLabel* m_reason = nullptr;
    QLabel* m_label = nullptr;
    QLineEdit* m_field = nullptr;
    QLabel* m_problem = nullptr;
    QPushButton* m_okButton = nullptr;
    Answer m_answer;
};
