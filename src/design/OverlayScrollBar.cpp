#include "design/OverlayScrollBar.h"

#include <QAbstractScrollArea>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "design/TarnwickTheme.h"

OverlayScrollBar* OverlayScrollBar::install(QAbstractScrollArea* area, Clock& clock)
{
    return new OverlayScrollBar(area, clock);
}

OverlayScrollBar::OverlayScrollBar(QAbstractScrollArea* area, Clock& clock)
    : QWidget(area),
      m_area(area),
      m_watchedArea(area),
      m_watchedViewport(area->viewport()),
      m_bar(area->verticalScrollBar()),
      m_clock(clock),
      m_fade(clock, 0.0)
{
    setObjectName(QStringLiteral("overlayScrollBar"));
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
    setCursor(Qt::ArrowCursor);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(&m_fade, &Tween::valueChanged, this, [this](double value) {
        if (value <= 0.0 && m_fade.target() <= 0.0)
            hide();
        else
            update();
    });
    connect(m_bar, &QScrollBar::valueChanged, this, &OverlayScrollBar::reveal);
    connect(m_bar, &QScrollBar::rangeChanged, this, [this] {
        if (!scrollable()) hide();
        update();
    });
    area->installEventFilter(this);
    area->viewport()->installEventFilter(this);
    hide();
    place();
}

bool OverlayScrollBar::scrollable() const
{
    return m_bar->maximum() > m_bar->minimum();
}

void OverlayScrollBar::place()
{
    if (!m_area) return;
    const QRect viewport = m_area->viewport()->geometry();
    setGeometry(viewport.right() + 1 - stripWidth, viewport.y(), stripWidth,
                std::max(0, viewport.height() - m_bottomInset));
    raise();
}

void OverlayScrollBar::setInk(const QColor& ink)
{
    m_ink = ink;
    update();
}

void OverlayScrollBar::setBottomInset(int inset)
{
    inset = std::max(0, inset);
    if (inset == m_bottomInset) return;
    m_bottomInset = inset;
    place();
}

void OverlayScrollBar::reveal()
{
    if (!scrollable()) return;
    if (!isVisible()) {
        place();
        show();
    }
    m_fade.jumpTo(1.0);
    update();
    linger();
}

void OverlayScrollBar::linger()
{
    // Scrolling moves the end on many times a second; one pending call follows it.
    m_lingerUntil = m_clock.elapsedMs() + lingerMs;
    if (!m_linger.isActive()) m_linger = m_clock.after(lingerMs, this, [this] { lingerEnded(); });
}

void OverlayScrollBar::lingerEnded()
{
    m_linger = TimerHandle();
    const qint64 left = m_lingerUntil - m_clock.elapsedMs();
    if (left > 0)
        m_linger = m_clock.after(left, this, [this] { lingerEnded(); });
    else
        fadeUnlessHeld();
}

void OverlayScrollBar::fadeUnlessHeld()
{
    if (m_dragging || m_hovered) {
        linger();
        return;
    }
    m_fade.animateTo(0.0, fadeMs);
}

bool OverlayScrollBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_watchedArea) {
        if (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest) place();
        return false;
    }
    if (watched == m_watchedViewport) {
        // The pointer moving over the content shows where the view stands, as scrolling does.
        if (event->type() == QEvent::Enter || (event->type() == QEvent::MouseMove && !isVisible())) reveal();
        if (event->type() == QEvent::Resize) place();
    }
    return false;
}

QRect OverlayScrollBar::thumbRect() const
{
    if (!scrollable() || height() <= 0) return {};
    const qreal page = m_bar->pageStep();
    const qreal span = m_bar->maximum() - m_bar->minimum();
    const int track = height() - 4;
    const int length = std::clamp(int(std::lround(track * page / (span + page))), minimumThumb, track);
    const int top = 2 + int(std::lround((track - length) * (m_bar->value() - m_bar->minimum()) / span));
    const int w = (m_hovered || m_dragging) ? thumbWidthActive : thumbWidth;
    return {width() - 2 - w, top, w, length};
}

int OverlayScrollBar::valueAt(int thumbTop) const
{
    const QRect thumb = thumbRect();
    const int travel = height() - 4 - thumb.height();
    if (travel <= 0) return m_bar->minimum();
    const qreal fraction = std::clamp(qreal(thumbTop - 2) / travel, 0.0, 1.0);
    return m_bar->minimum() + int(std::lround(fraction * (m_bar->maximum() - m_bar->minimum())));
}

void OverlayScrollBar::paintEvent(QPaintEvent*)
{
    const QRect thumb = thumbRect();
    if (thumb.isEmpty()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor ink = m_ink.isValid() ? m_ink : TarnwickTheme::textPrimary();
    const double alpha = m_ink.isValid() ? 0.35 : ((m_hovered || m_dragging) ? 0.45 : 0.3);
    ink.setAlphaF(float(alpha * std::clamp(m_fade.value(), 0.0, 1.0)));
    QPainterPath path;
    path.addRoundedRect(QRectF(thumb), thumb.width() / 2.0, thumb.width() / 2.0);
    p.fillPath(path, ink);
}

void OverlayScrollBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !scrollable()) return;
    const QRect thumb = thumbRect();
    const int y = int(event->position().y());
    if (thumb.adjusted(-stripWidth, 0, stripWidth, 0).contains(QPoint(thumb.center().x(), y))) {
        m_dragging = true;
        m_grabOffset = y - thumb.top();
    } else {
        // A click on the track pages towards it.
        m_bar->triggerAction(y < thumb.top() ? QAbstractSlider::SliderPageStepSub : QAbstractSlider::SliderPageStepAdd);
    }
    reveal();
    event->accept();
}

void OverlayScrollBar::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging) m_bar->setValue(valueAt(int(event->position().y()) - m_grabOffset));
    event->accept();
}

void OverlayScrollBar::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragging = false;
    update();
    linger();
    event->accept();
}

void OverlayScrollBar::enterEvent(QEnterEvent*)
{
    m_hovered = true;
    reveal();
}

void OverlayScrollBar::leaveEvent(QEvent*)
{
    m_hovered = false;
    update();
    linger();
}
