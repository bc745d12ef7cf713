#include "capture/CaptureCapsuleChrome.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <cmath>

#include "capture/CaptureCapsuleModel.h"
#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "platform/Clock.h"

namespace {

QFont systemFont(double points, QFont::Weight weight)
{
    QFont font;
    font.setPointSizeF(points);
    font.setWeight(weight);
    return font;
}

QLabel* plainLabel(const QString& text, const QFont& font, const QColor& color)
{
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFont(font);
    label->setWordWrap(false);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

// The glyph on its faint disc of the tint.
class GlyphDisc : public QWidget {
public:
    GlyphDisc(const QString& symbol, const QColor& tint) : m_icon(Symbols::tinted(symbol, tint, 11)), m_tint(tint)
    {
        setFixedSize(CaptureCapsuleChrome::kGlyph, CaptureCapsuleChrome::kGlyph);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor disc = m_tint;
        disc.setAlphaF(0.16 * m_tint.alphaF());
        p.setPen(Qt::NoPen);
        p.setBrush(disc);
        p.drawEllipse(rect());
        m_icon.paint(&p, QRect((width() - 11) / 2, (height() - 11) / 2, 11, 11));
    }

private:
    QIcon m_icon;
    QColor m_tint;
};

}  // namespace

// "Undo" on a well that brightens under the pointer; a still picture without an action.
class CapsuleUndoWell : public QAbstractButton {
public:
    explicit CapsuleUndoWell(bool live) : m_live(live)
    {
        setText(QStringLiteral("Undo"));
        setFont(systemFont(12, QFont::DemiBold));
        setCursor(live ? Qt::PointingHandCursor : Qt::ArrowCursor);
        setFocusPolicy(Qt::NoFocus);
        if (live) {
            setToolTip(QStringLiteral("Removes the capture"));
            setAccessibleDescription(QStringLiteral("Removes the capture"));
        } else {
            // Clicks fall through to the pill.
            setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        m_fade.setDuration(140);
        QEasingCurve curve(QEasingCurve::BezierSpline);
        curve.addCubicBezierSegment({0.2, 0.7}, {0.2, 1.0}, {1, 1});
        m_fade.setEasingCurve(curve);
        connect(&m_fade, &QVariantAnimation::valueChanged, this, [this] { update(); });
    }
    bool hovering() const { return m_hovering; }
    QSize sizeHint() const override
    {
        const QFontMetrics m(font());
        return {m.horizontalAdvance(text()) + 20, m.height() + 10};
    }

protected:
    void enterEvent(QEnterEvent*) override { setHover(true); }
    void leaveEvent(QEvent*) override { setHover(false); }
    void paintEvent(QPaintEvent*) override
    {
        const double t =
            m_fade.state() == QAbstractAnimation::Running ? m_fade.currentValue().toDouble() : (m_hovering ? 1.0 : 0.0);
        const auto mix = [t](const QColor& a, const QColor& b) {
            return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                                    a.blueF() + (b.blueF() - a.blueF()) * t,
                                    a.alphaF() + (b.alphaF() - a.alphaF()) * t);
        };
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(mix(TarnwickTheme::HUD::wellRest(), TarnwickTheme::HUD::wellHover()));
        p.drawRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
        QColor ink = TarnwickTheme::onInk();
        ink.setAlphaF(0.88 + 0.12 * t);
        p.setPen(ink);
        p.setFont(font());
        p.drawText(rect(), Qt::AlignCenter, text());
    }

private:
    void setHover(bool on)
    {
        if (!m_live || on == m_hovering) return;
        m_hovering = on;
        m_fade.stop();
        m_fade.setStartValue(on ? 0.0 : 1.0);
        m_fade.setEndValue(on ? 1.0 : 0.0);
        m_fade.start();
    }
    bool m_live;
    bool m_hovering = false;
    QVariantAnimation m_fade;
};

CaptureCapsuleChrome::CaptureCapsuleChrome(Content content, QWidget* parent)
    : QWidget(parent), m_content(std::move(content))
{
    auto* row = new QHBoxLayout(this);
    row->setSpacing(kSpacing);
    row->setContentsMargins(kLeading, kVertical, trailingPadding(), kVertical);
    row->addWidget(new GlyphDisc(m_content.symbol, m_content.tint), 0, Qt::AlignVCenter);

    auto* column = new QVBoxLayout;
    column->setSpacing(1);
    column->addWidget(plainLabel(m_content.message, systemFont(13, QFont::DemiBold), TarnwickTheme::onInk()));
    if (m_content.detail)
        column->addWidget(
            plainLabel(*m_content.detail, systemFont(11.5, QFont::Normal), TarnwickTheme::HUD::onInkDim()));
    row->addLayout(column);

    if (m_content.showsUndo) {
        m_undo = new CapsuleUndoWell(bool(m_content.onUndo));
        if (m_content.onUndo) connect(m_undo, &QAbstractButton::clicked, this, [this] { m_content.onUndo(); });
        row->addWidget(m_undo, 0, Qt::AlignVCenter);
    }
    row->setSizeConstraint(QLayout::SetFixedSize);

    m_frames.setInterval(16);
    connect(&m_frames, &QTimer::timeout, this, [this] {
        if (m_content.countdown.live && !m_content.countdown.live->pausedAtMs()) update();
    });
}

bool CaptureCapsuleChrome::hasUndoElement() const
{
    return m_undo != nullptr;
}

bool CaptureCapsuleChrome::isOnUndo(const QPoint& point) const
{
    return m_undo && m_content.onUndo && m_undo->geometry().contains(point);
}

double CaptureCapsuleChrome::barFraction() const
{
    const Countdown& c = m_content.countdown;
    if (c.live && c.clock) return c.live->remainingFraction(c.clock->elapsedMs());
    return c.still;
}

QPainterPath CaptureCapsuleChrome::outline() const
{
    QPainterPath path;
    const QRectF r(rect());
    path.addRoundedRect(r, r.height() / 2, r.height() / 2);
    return path;
}

void CaptureCapsuleChrome::showEvent(QShowEvent*)
{
    if (m_content.countdown.live) m_frames.start();
}

void CaptureCapsuleChrome::hideEvent(QHideEvent*)
{
    m_frames.stop();
}

void CaptureCapsuleChrome::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath pill = outline();
    p.setClipPath(pill);
    p.fillPath(pill,
               m_content.backing == Backing::vibrant ? TarnwickTheme::HUD::ink() : TarnwickTheme::HUD::inkSolid());

    // A 1-point rim inside the border, bright at the top and faint at the bottom.
    QLinearGradient rim(0, 0, 0, height());
    rim.setColorAt(0, TarnwickTheme::HUD::rimHigh());
    rim.setColorAt(1, TarnwickTheme::HUD::rimLow());
    const QRectF inner = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(QBrush(rim), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(inner, inner.height() / 2, inner.height() / 2);

    const double fraction = barFraction();
    if (fraction > 0) {
        const QRectF track(0, height() - kBarHeight, width(), kBarHeight);
        p.fillRect(track, TarnwickTheme::HUD::track());
        QColor fill = m_content.tint;
        fill.setAlphaF(0.7 * fill.alphaF());
        p.fillRect(QRectF(track.left(), track.top(), track.width() * std::min(fraction, 1.0), kBarHeight), fill);
    }
}
