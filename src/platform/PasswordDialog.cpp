#include "platform/PasswordDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

PasswordDialog::PasswordDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Tarnwick"));
    // Above the floating notes that asked for it.
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);

    auto* icon = new QLabel(this);
    const QIcon keyIcon =
        QIcon::fromTheme(QStringLiteral("dialog-password"), style()->standardIcon(QStyle::SP_MessageBoxQuestion));
    icon->setPixmap(keyIcon.pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);

    m_reason = new QLabel(this);
    m_reason->setWordWrap(true);
    QFont bold = m_reason->font();
    bold.setBold(true);
    m_reason->setFont(bold);

    m_label = new QLabel(this);
    m_field = new QLineEdit(this);
    m_field->setEchoMode(QLineEdit::Password);
    m_field->setMinimumWidth(260);
    m_label->setBuddy(m_field);

    m_problem = new QLabel(this);
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #C62828;"));
    m_problem->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_okButton = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &PasswordDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PasswordDialog::reject);

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 4, 1);
    layout->addWidget(m_reason, 0, 1, 1, 2);
    layout->addWidget(m_label, 1, 1);
    layout->addWidget(m_field, 1, 2);
    layout->addWidget(m_problem, 2, 1, 1, 2);
    layout->addWidget(buttons, 3, 1, 1, 2);
}

PasswordDialog::~PasswordDialog() = default;

void PasswordDialog::ask(const Request& request, Answer answer)
{
    m_answer = std::move(answer);
    m_reason->setText(request.reason);
    m_label->setText(request.label.isEmpty() ? QStringLiteral("Password:") : request.label);
    m_field->setEchoMode(request.echo ? QLineEdit::Normal : QLineEdit::Password);
    m_field->clear();
    m_field->setEnabled(true);
    m_okButton->setEnabled(true);
    m_problem->setText(request.problem);
    m_problem->setVisible(!request.problem.isEmpty());
    show();
    raise();
    activateWindow();
    m_field->setFocus();
}

void PasswordDialog::finish()
{
    m_answer = nullptr;
    hide();
}

void PasswordDialog::accept()
{
    if (!m_answer) return;
    const QString text = m_field->text();
    m_field->clear();
    // Busy until the next question or the end: the password is being checked.
    m_field->setEnabled(false);
    m_okButton->setEnabled(false);
    answerWith(text);
}

void PasswordDialog::reject()
{
    hide();
    answerWith(std::nullopt);
}

void PasswordDialog::answerWith(std::optional<QString> text)
{
    Answer answer = std::move(m_answer);
    m_answer = nullptr;
    if (answer) answer(std::move(text));
}
