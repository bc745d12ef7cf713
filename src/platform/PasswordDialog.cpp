#include "platform/PasswordDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QWindow>

namespace {
QPointer<QWidget> g_nextOwner;
const QString kUnlockReason = QStringLiteral("Unlock this note");
}  // namespace

void PasswordDialog::setNextOwner(QWidget* window)
{
    g_nextOwner = window ? window->window() : nullptr;
}

PasswordDialog::PasswordDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Tarnwick"));
    // A plain dialog (no minimise or maximise), above the floating notes that asked for it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);

    auto* icon = new QLabel(this);
    // The application's style draws its own lock for the question; no stock icon of the desktop theme.
    const QIcon keyIcon = style()->standardIcon(QStyle::SP_MessageBoxQuestion);
    icon->setPixmap(keyIcon.pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);

    m_intro = new QLabel(this);
    m_intro->setTextFormat(Qt::PlainText);
    m_intro->setWordWrap(true);
    m_intro->hide();

    m_reason = new QLabel(this);
    m_reason->setTextFormat(Qt::PlainText);
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
    layout->addWidget(m_intro, 1, 1, 1, 2);
    layout->addWidget(m_label, 2, 1);
    layout->addWidget(m_field, 2, 2);
    layout->addWidget(m_problem, 3, 1, 1, 2);
    layout->addWidget(buttons, 4, 1, 1, 2);
    // Fixed to its contents: window managers then offer neither resizing nor maximising.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // A hint left by a window that has closed since is no owner: the active window is taken instead.
    QWidget* hinted = g_nextOwner && g_nextOwner->isVisible() ? g_nextOwner.data() : nullptr;
    g_nextOwner = nullptr;
    setOwner(parent ? parent->window() : (hinted ? hinted : QApplication::activeWindow()));
}

void PasswordDialog::setOwner(QWidget* owner)
{
    // Only a window on screen can own the prompt (and cancel it by closing).
    if (owner == this || (owner && !owner->isVisible())) owner = nullptr;
    m_owner = owner;
    if (!owner) return;
    owner->installEventFilter(this);
    // The owner going away cancels the question: nothing is unlocked for a window nobody sees.
    connect(owner, &QObject::destroyed, this, [this] {
        if (m_answer) reject();
    });
}

bool PasswordDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_owner && event->type() == QEvent::Hide && m_answer) reject();
    return QDialog::eventFilter(watched, event);
}

void PasswordDialog::placeOverOwner()
{
    if (!m_owner) return;
    adjustSize();
    create();
    if (QWindow* handle = windowHandle()) handle->setTransientParent(m_owner->windowHandle());
    move(m_owner->frameGeometry().center() - QPoint(width() / 2, height() / 2));
}

void PasswordDialog::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    // Hidden some other way than by an answer (its owner's window hid, which cancels it).
    m_focusReturn.restore();
}

PasswordDialog::~PasswordDialog() = default;

void PasswordDialog::ask(const Request& request, Answer answer)
{
    if (m_owner && !m_owner->isVisible()) {
        // The window that asked has closed meanwhile: answer as Cancel, after ask has returned.
        QMetaObject::invokeMethod(
            this, [answer = std::move(answer)] { answer(std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    m_answer = std::move(answer);
    const bool unlocking = request.reason == kUnlockReason;
    setWindowTitle(unlocking ? tr("Unlock Note") : QStringLiteral("Tarnwick"));
    m_intro->setText(unlocking ? tr("Enter your account password to unlock this note.") : QString());
    m_intro->setVisible(unlocking);
    m_reason->setText(request.reason);
    m_label->setText(request.label.isEmpty() ? QStringLiteral("Password:") : request.label);
    m_field->setEchoMode(request.echo ? QLineEdit::Normal : QLineEdit::Password);
    m_field->clear();
    m_field->setEnabled(true);
    m_okButton->setEnabled(true);
    m_problem->setText(request.problem);
    m_problem->setVisible(!request.problem.isEmpty());
    if (!isVisible()) {
        m_focusReturn.capture(m_owner);
        placeOverOwner();
    }
    show();
    raise();
    activateWindow();
    m_field->setFocus();
}

void PasswordDialog::finish()
{
    m_answer = nullptr;
    m_focusReturn.restore();
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
    m_focusReturn.restore();
    hide();
    answerWith(std::nullopt);
}

void PasswordDialog::answerWith(std::optional<QString> text)
{
    Answer answer = std::move(m_answer);
    m_answer = nullptr;
    if (answer) answer(std::move(text));
}
