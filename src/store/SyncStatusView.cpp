#include "store/SyncStatusView.h"

#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVariantAnimation>

#include "design/Legibility.h"
#include "design/Symbols.h"
#include "design/TarnwickType.h"
#include "design/TextColor.h"

namespace {
// Symbols at the small scale beside caption text.
constexpr int iconSize = 12;

// The symbol and the text are one piece of text to a screen reader, named by the state's text; only
// the retry link, while it shows, is reached inside it.
class SyncStatusAccessible : public QAccessibleWidget {
public:
    explicit SyncStatusAccessible(SyncStatusView* view) : QAccessibleWidget(view, QAccessible::StaticText) {}
    int childCount() const override { return retry() ? 1 : 0; }
    QAccessibleInterface* child(int index) const override
    {
        return index == 0 && retry() ? QAccessible::queryAccessibleInterface(retry()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child && retry() && child->object() == retry() ? 0 : -1;
    }

private:
    QPushButton* retry() const
    {
        auto* view = static_cast<SyncStatusView*>(widget());
        QPushButton* link = isValid() ? view->retryButton() : nullptr;
        return link && !link->isHidden() ? link : nullptr;
    }
};

QAccessibleInterface* syncStatusAccessible(const QString&, QObject* object)
{
    if (auto* view = qobject_cast<SyncStatusView*>(object)) return new SyncStatusAccessible(view);
    return nullptr;
}
}  // namespace

SyncStatusView::SyncStatusView(SyncState state, std::function<void()> onRetry, QWidget* parent)
    : QWidget(parent),
      m_state(state),
      m_onRetry(std::move(onRetry)),
      m_icon(new QWidget(this)),
      m_text(new QLabel(this)),
      m_retry(new QPushButton(this)),
      m_rotation(new QVariantAnimation(this))
{
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(syncStatusAccessible);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    row->addWidget(m_icon, 0, Qt::AlignVCenter);
    row->addWidget(m_text, 0, Qt::AlignVCenter);
    row->addWidget(m_retry, 0, Qt::AlignVCenter);

    m_icon->setFixedSize(iconSize, iconSize);
    m_icon->installEventFilter(this);
    m_text->setFont(TarnwickType::caption());
    m_text->setTextFormat(Qt::PlainText);

    QFont link = TarnwickType::caption();
    link.setUnderline(true);
    m_retry->setFont(link);
    m_retry->setFlat(true);
    m_retry->setCursor(Qt::PointingHandCursor);
    m_retry->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0; background: transparent; }"));
    m_retry->setText(QCoreApplication::translate("SyncStatusView", "retry"));
    connect(m_retry, &QPushButton::clicked, this, [this] {
        if (m_onRetry) m_onRetry();
    });

    // One turn a second, linear, for as long as the state is syncing.
    m_rotation->setStartValue(0.0);
    m_rotation->setEndValue(360.0);
    m_rotation->setDuration(1000);
    m_rotation->setLoopCount(-1);
    m_rotation->setEasingCurve(QEasingCurve::Linear);
    connect(m_rotation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_angle = m_spin ? v.toReal() : 0;
        m_icon->update();
    });

    // The state the badge is first shown with decides whether it spins.
    setSpin(m_state == SyncState::syncing);
    refresh();
}

void SyncStatusView::setState(SyncState state)
{
    if (state == m_state) return;
    m_state = state;
    setSpin(m_state == SyncState::syncing);
    refresh();
}

void SyncStatusView::setOnRetry(std::function<void()> onRetry)
{
    m_onRetry = std::move(onRetry);
    refresh();
}

void SyncStatusView::setGround(const QColor& ground)
{
    if (m_ground == ground) return;
    m_ground = ground;
    refresh();
}

void SyncStatusView::setSpin(bool spin)
{
    m_spin = spin;
    if (spin) {
        m_rotation->start();
    } else {
        m_rotation->stop();
        m_angle = 0;
        m_icon->update();
    }
}

void SyncStatusView::refresh()
{
    const SyncStateLook look = SyncStateLook::of(m_state);
    m_text->setText(look.text);
    // Caption text: it takes the contrast of body text to read.
    m_color = m_ground ? Legibility::readable(look.color, *m_ground, Legibility::strongest(*m_ground)) : look.color;
    TextColor::set(this, m_color);
    m_retry->setVisible(m_state == SyncState::error && m_onRetry);
    // Read out by the state's text; the retry link stays a control of its own.
    setAccessibleName(look.text);
    m_icon->update();
}

bool SyncStatusView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_icon && event->type() == QEvent::Paint) {
        const SyncStateLook look = SyncStateLook::of(m_state);
        const QRectF box(QPointF(0, 0), QSizeF(m_icon->size()));
        QPainter painter(m_icon);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.translate(box.center());
        painter.rotate(m_angle);
        painter.translate(-box.center());
        const qreal ratio = m_icon->devicePixelRatioF();
        Symbols::tinted(look.symbol, m_color, iconSize, {ratio}).paint(&painter, box.toRect());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
