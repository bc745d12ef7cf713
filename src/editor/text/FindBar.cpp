#include "editor/text/FindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include "editor/text/TextBlockController.h"

FindBar::FindBar(QWidget* parent) : QWidget(parent), m_field(new QLineEdit(this)), m_status(new QLabel(this))
{
    setObjectName(QStringLiteral("findBar"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 3, 8, 3);
    row->setSpacing(6);
    m_field->setPlaceholderText(QStringLiteral("Find"));
    m_field->setClearButtonEnabled(true);
    m_field->setAccessibleName(QStringLiteral("Find"));
    m_field->installEventFilter(this);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setMinimumWidth(m_status->fontMetrics().horizontalAdvance(QStringLiteral("888 of 888")));
    auto* done = new QToolButton(this);
    done->setText(QStringLiteral("Done"));
    done->setAutoRaise(true);
    done->installEventFilter(this);
    row->addWidget(m_field, 1);
    row->addWidget(m_status);
    row->addWidget(done);
    connect(done, &QToolButton::clicked, this, [this] { close(true); });
    connect(m_field, &QLineEdit::textChanged, this, [this](const QString& query) {
        if (!m_finder) return;
        m_finder->setQuery(query);
        // Searching as one types starts from where the caret was.
        if (m_savedSelection) m_finder->selectFrom(m_savedSelection->location);
        showCurrent();
    });
    hide();
}

FindBar::~FindBar() = default;

void FindBar::open(TextBlockController* target)
{
    if (!target) return;
    if (target != m_target) {
        m_target = target;
        m_savedSelection = target->textView().selection();
        m_finder = std::make_unique<TextFinder>(target->textView().storage());
        connect(m_finder.get(), &TextFinder::matchesChanged, this, &FindBar::updateStatus);
        m_finder->setQuery(m_field->text());
        if (m_savedSelection) m_finder->selectFrom(m_savedSelection->location);
        target->setFindBarHider([this] { close(false); });
    } else if (!isVisible()) {
        m_savedSelection = target->textView().selection();
    }
    show();
    updateStatus();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
}

void FindBar::close(bool restoreCaret)
{
    QPointer<TextBlockController> target = m_target;
    const std::optional<TextRange> saved = m_savedSelection;
    if (target) target->setFindBarHider(nullptr);
    m_target = nullptr;
    m_finder.reset();
    m_savedSelection.reset();
    const bool wasVisible = isVisible();
    hide();
    if (restoreCaret && target) {
        if (saved) target->textView().setSelection(*saved);
        if (QWidget* view = target->view()) view->setFocus(Qt::OtherFocusReason);
    }
    if (wasVisible) Q_EMIT closed();
}

QString FindBar::statusText() const
{
    return m_status->text();
}

void FindBar::step(bool forward)
{
    if (!m_finder) return;
    forward ? m_finder->next() : m_finder->previous();
    showCurrent();
}

void FindBar::showCurrent()
{
    updateStatus();
    if (!m_finder || !m_target || m_finder->current() < 0) return;
    const TextRange match = m_finder->matches()[size_t(m_finder->current())];
    m_target->textView().setSelection(match);
    if (m_flash) m_flash(m_target, match.location, match.length);
}

void FindBar::updateStatus()
{
    m_status->setText(m_finder ? m_finder->status() : QString());
}

bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    // Escape closes the bar from wherever in it the keyboard is (Tab takes it to "Done").
    if (watched != m_field && (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        event->accept();
        if (event->type() == QEvent::KeyPress) close(true);
        return true;
    }
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool shift = key->modifiers() & Qt::ShiftModifier;
        switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_F3:
                step(!shift);
                return true;
            case Qt::Key_Escape:
                close(true);
                return true;
            default:
                break;
        }
    }
    if (watched == m_field && event->type() == QEvent::ShortcutOverride) {
        // Escape and F3 belong to the bar while its field has the keyboard.
        const int k = static_cast<QKeyEvent*>(event)->key();
        if (k == Qt::Key_Escape || k == Qt::Key_F3) {
            event->accept();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
