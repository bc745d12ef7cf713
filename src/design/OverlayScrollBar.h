#pragma once

#include <QColor>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "design/Tween.h"
#include "platform/Clock.h"

class QAbstractScrollArea;
class QScrollBar;

// A thin vertical scroll bar laid over the right edge of a scroll area's viewport, in place of the
// style's bar: it never takes room from the content, so the content's insets stay the same whether
// or not there is anything to scroll. It shows while the content moves or the pointer is over the
// area, fades from view a second after (at once under Reduce Motion), and can be dragged; a click on
// its track pages. The area's own
// vertical scroll bar stays (hidden) as the one place the position is kept.
class OverlayScrollBar : public QWidget {
    Q_OBJECT
public:
    // The strip it answers the pointer in, and the thumb drawn inside it.
    static constexpr int stripWidth = 12;
    static constexpr int thumbWidth = 6;
    static constexpr int thumbWidthActive = 10;  // under the pointer or dragged
    static constexpr int minimumThumb = 24;
    static constexpr int lingerMs = 1000;
    static constexpr int fadeMs = 200;

    // Puts a bar over `area` and turns the style's bar off; the area owns it.
    static OverlayScrollBar* install(QAbstractScrollArea* area, Clock& clock);
    // Asked when the bar starts to fade; by default the desktop's setting.
    void setReduceMotion(std::function<bool()> reduceMotion) { m_fade.setReduceMotion(std::move(reduceMotion)); }

    // The thumb's colour (drawn at a fixed alpha); by default the primary text colour.
    void setInk(const QColor& ink);
    // Leaves this much of the viewport's bottom free (a resize grip sits there).
    void setBottomInset(int inset);

    // Where the thumb is drawn now, in this widget's coordinates; empty when there is nothing to scroll.
    QRect thumbRect() const;
    // Shown now (content scrolled lately, or the pointer over the area or the bar), fading included.
    bool isShowing() const { return isVisible(); }
    // How strongly it is drawn: 1 while shown, falling to 0 as it fades.
    double strength() const { return m_fade.value(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    OverlayScrollBar(QAbstractScrollArea* area, Clock& clock);
    void place();
    void reveal();
    void linger();
    void lingerEnded();
    void fadeUnlessHeld();
    bool scrollable() const;
    int valueAt(int thumbTop) const;

    QPointer<QAbstractScrollArea> m_area;
    QColor m_ink;
    int m_bottomInset = 0;
    // What the filter watches, compared as plain objects: the filter also sees the area's and the
    // viewport's last events while they are being destroyed, when they are no longer of their type.
    QObject* m_watchedArea;
    QObject* m_watchedViewport;
    QScrollBar* m_bar;
    Clock& m_clock;
    TimerHandle m_linger;
    qint64 m_lingerUntil = 0;
    Tween m_fade;
    bool m_hovered = false;
    bool m_dragging = false;
    int m_grabOffset = 0;
};
