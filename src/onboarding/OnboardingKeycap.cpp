#include "onboarding/OnboardingKeycap.h"

#include <QEasingCurve>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "design/Tween.h"
#include "onboarding/KeyPressSequence.h"

namespace {
constexpr qreal kItemSpacing = 9, kKeyPadX = 20, kKeyPadY = 14, kKeyMinText = 26, kKeyRadius = 12;
constexpr qreal kCheckSize = 15, kCheckLead = 4, kPressDrop = 2, kShadowRoom = 8;

const QColor& capText()
{
    static const QColor c = QColor::fromRgbF(0.968f, 0.957f, 0.933f);
    return c;
}

QColor withAlpha(QColor c, qreal alpha)
{
    c.setAlphaF(float(alpha));
    return c;
}
}  // namespace

OnboardingKeycap::OnboardingKeycap(const QStringList& keys, const KeyPressSequence* sequence, bool reduceMotion,
                                   QWidget* parent)
    : QWidget(parent), m_keys(keys), m_sequence(sequence), m_reduceMotion(reduceMotion)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    if (sequence) connect(sequence, &KeyPressSequence::changed, this, qOverload<>(&QWidget::update));
    m_sleepChange = new QVariantAnimation(this);
    m_sleepChange->setStartValue(0.0);
    m_sleepChange->setEndValue(kSleepSeconds + kSleepStaggerSeconds * std::max<qsizetype>(0, keys.size() - 1));
    m_sleepChange->setDuration(int(m_sleepChange->endValue().toReal() * 1000));
    connect(m_sleepChange, &QVariantAnimation::valueChanged, this, &OnboardingKeycap::redraw);
    // The keys slide on the clock of their press, which plays at the same moment: the two stay in step.
    if (sequence) {
        m_clock = &sequence->clock();
        m_earnedShown = new Tween(*m_clock, 0.0, this);
        m_earnedShown->setCurve(tourCurve());
        m_earnedShown->setReduceMotion([this] { return m_reduceMotion; });
        connect(m_earnedShown, &Tween::valueChanged, this, &OnboardingKeycap::redraw);
    }
    updateAccessibleName();
}

void OnboardingKeycap::redraw()
{
    update();
    Q_EMIT drawingChanged();
}

QEasingCurve OnboardingKeycap::tourCurve()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.2, 0.7), QPointF(0.2, 1.0), QPointF(1.0, 1.0));
    return curve;
}

qreal OnboardingKeycap::keyChangeProgress(int index, qreal secondsSinceChange)
{
    const qreal t = (secondsSinceChange - index * kSleepStaggerSeconds) / kSleepSeconds;
    if (t <= 0) return 0;
    if (t >= 1) return 1;
    return tourCurve().valueForProgress(t);
}

qreal OnboardingKeycap::sleepiness(int index) const
{
    if (m_sleepChange->state() != QAbstractAnimation::Running) return m_asleep ? 1 : 0;
    const qreal progress = keyChangeProgress(index, m_sleepChange->currentValue().toReal());
    return m_asleep ? progress : 1 - progress;
}

qreal OnboardingKeycap::earnedShown() const
{
    return m_earnedShown ? m_earnedShown->value() : (m_earned ? 1.0 : 0.0);
}

void OnboardingKeycap::setEarned(bool earned)
{
    if (earned == m_earned) return;
    m_earned = earned;
    updateAccessibleName();
    // The layout makes room for the check mark at once; the drawing follows, still centred.
    updateGeometry();
    if (m_earnedShown) {
        if (!m_reduceMotion && isVisible()) {
            glideToEarned();
        } else {
            m_glideStart.cancel();
            m_earnedShown->jumpTo(earned ? 1.0 : 0.0);
        }
    }
    update();
}

void OnboardingKeycap::continueFrom(const OnboardingKeycap& before)
{
    if (!m_earnedShown || m_reduceMotion || before.earnedShown() == earnedShown()) return;
    m_earnedShown->jumpTo(before.earnedShown());
    glideToEarned();
}

void OnboardingKeycap::glideToEarned()
{
    // The slide starts with the press, on the next turn: when the hot key's own action holds the main
    // thread up (a new note opening), both start once it is free, rather than the slide being over before
    // its first frame.
    m_glideStart.cancel();
    m_earnedShown->jumpTo(m_earnedShown->value());
    m_glideStart =
        m_clock->after(0, this, [this] { m_earnedShown->animateTo(m_earned ? 1.0 : 0.0, int(kEarnedSeconds * 1000)); });
}

void OnboardingKeycap::setAsleep(bool asleep)
{
    if (asleep == m_asleep) return;
    m_asleep = asleep;
    // Shown keys change one after another from the left; with Reduce Motion, or before they are shown, at once.
    if (!m_reduceMotion && isVisible()) m_sleepChange->start();
    update();
}

void OnboardingKeycap::updateAccessibleName()
{
    setAccessibleName(m_keys.join(u' ') + (m_earned ? QStringLiteral(", done") : QString()));
}

QFont OnboardingKeycap::keyFont() const
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(TarnwickType::pointSize(20));
    font.setWeight(QFont::DemiBold);
    return font;
}

QFont OnboardingKeycap::plusFont() const
{
    return TarnwickType::system(14);
}

OnboardingKeycap::Metrics OnboardingKeycap::metrics() const
{
    Metrics m;
    const QFontMetricsF keyMetrics(keyFont());
    m.keyHeight = keyMetrics.height() + 2 * kKeyPadY;
    m.plusWidth = QFontMetricsF(plusFont()).horizontalAdvance(u'+');
    for (const QString& key : m_keys) {
        const qreal w = std::max(kKeyMinText, keyMetrics.horizontalAdvance(key)) + 2 * kKeyPadX;
        if (!m.keyWidths.isEmpty()) m.keysWidth += kItemSpacing + m.plusWidth + kItemSpacing;
        m.keyWidths << w;
        m.keysWidth += w;
    }
    m.checkWidth = (m_keys.isEmpty() ? 0 : kItemSpacing) + kCheckLead + kCheckSize;
    return m;
}

QSize OnboardingKeycap::naturalSize() const
{
    const Metrics m = metrics();
    return QSize(int(std::ceil(m.width(m_earned ? 1 : 0))), int(std::ceil(m.keyHeight + kPressDrop + kShadowRoom)));
}

QSize OnboardingKeycap::minimumSizeHint() const
{
    return QSize(0, naturalSize().height());
}

qreal OnboardingKeycap::scale() const
{
    return scaleFor(metrics().width(earnedShown()));
}

qreal OnboardingKeycap::scaleFor(qreal rowWidth) const
{
    if (rowWidth <= 0 || width() >= rowWidth) return 1.0;
    return width() / rowWidth;
}

QList<QRectF> OnboardingKeycap::keyRects() const
{
    const Metrics m = metrics();
    const qreal rowWidth = m.width(earnedShown()), s = scaleFor(rowWidth);
    const qreal x0 = (width() - rowWidth * s) / 2;
    const qreal y0 = (height() - (m.keyHeight + kPressDrop + kShadowRoom) * s) / 2;
    QList<QRectF> rects;
    qreal x = 0;
    for (int i = 0; i < m.keyWidths.size(); ++i) {
        if (i > 0) x += kItemSpacing + m.plusWidth + kItemSpacing;
        rects << QRectF(x0 + x * s, y0, m.keyWidths[i] * s, m.keyHeight * s);
        x += m.keyWidths[i];
    }
    return rects;
}

void OnboardingKeycap::paintEvent(QPaintEvent*)
{
    // The row is centred as drawn: while the keys slide over for the check mark (or back), it stays centred
    // as a whole, the check mark's share of the room growing as it fades in.
    const qreal shown = earnedShown();
    if (m_keys.isEmpty() && shown <= 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Metrics m = metrics();
    const qreal rowWidth = m.width(shown), s = scaleFor(rowWidth);
    const qreal rowHeight = m.keyHeight + kPressDrop + kShadowRoom;
    p.translate((width() - rowWidth * s) / 2, (height() - rowHeight * s) / 2);
    p.scale(s, s);

    qreal x = 0;
    for (int i = 0; i < m_keys.size(); ++i) {
        if (i > 0) {
            x += kItemSpacing;
            p.setFont(plusFont());
            p.setPen(TarnwickTheme::textTertiary());
            p.drawText(QRectF(x, 0, m.plusWidth, m.keyHeight), Qt::AlignCenter, QStringLiteral("+"));
            x += m.plusWidth + kItemSpacing;
        }
        const bool pressed = m_sequence && m_sequence->isDepressed(i);
        const QRectF key(x, pressed ? kPressDrop : 0, m.keyWidths[i], m.keyHeight);
        QPainterPath shape;
        shape.addRoundedRect(key, kKeyRadius, kKeyRadius);
        // Awake: a filled key with a soft shadow; asleep: an outline. Between the two while changing.
        const qreal sleep = sleepiness(i), awake = 1 - sleep;
        if (awake > 0) {
            // A soft shadow: a few widening layers below the key, lower and wider at rest than pressed.
            const qreal drop = pressed ? 1 : 5, radius = pressed ? 3 : 10, alpha = pressed ? 0.10 : 0.28;
            for (int layer = 3; layer >= 1; --layer) {
                const qreal grow = radius * layer / 6;
                QPainterPath shadow;
                shadow.addRoundedRect(key.adjusted(-grow / 2, drop - grow / 2, grow / 2, drop + grow / 2),
                                      kKeyRadius + grow, kKeyRadius + grow);
                p.fillPath(shadow, withAlpha(TarnwickTheme::ink(), awake * alpha / 3));
            }
            p.fillPath(shape, withAlpha(TarnwickTheme::ink(), awake));
            p.setPen(QPen(withAlpha(Qt::white, awake * (pressed ? 0.04 : 0.16)), 1));
            p.drawPath(shape);
        }
        if (sleep > 0) {
            QPainterPath inner;
            inner.addRoundedRect(key.adjusted(0.75, 0.75, -0.75, -0.75), kKeyRadius, kKeyRadius);
            p.setPen(QPen(withAlpha(TarnwickTheme::textPrimary(), sleep * 0.16), 1.5));
            p.drawPath(inner);
        }
        p.setFont(keyFont());
        const QColor asleepText = withAlpha(TarnwickTheme::textPrimary(), 0.30);
        const QColor awakeText = capText();
        p.setPen(QColor::fromRgbF(awakeText.redF() * awake + asleepText.redF() * sleep,
                                  awakeText.greenF() * awake + asleepText.greenF() * sleep,
                                  awakeText.blueF() * awake + asleepText.blueF() * sleep,
                                  awakeText.alphaF() * awake + asleepText.alphaF() * sleep));
        p.drawText(key, Qt::AlignCenter, m_keys[i]);
        x += m.keyWidths[i];
    }
    if (shown > 0) {
        x += (m_keys.isEmpty() ? 0 : kItemSpacing) + kCheckLead;
        const QPixmap check = Symbols::tinted(QStringLiteral("checkmark"), TarnwickTheme::success(), int(kCheckSize))
                                  .pixmap(int(kCheckSize), int(kCheckSize));
        p.setOpacity(std::min<qreal>(shown, 1));
        p.drawPixmap(QPointF(x, (m.keyHeight - kCheckSize) / 2), check);
    }
}

OnboardingMarks::OnboardingMarks(int index, int count, QWidget* parent)
    : QWidget(parent), m_index(index), m_count(count)
{
    setAccessibleName(QStringLiteral("Step %1 of %2").arg(index + 1).arg(count));
    setFixedSize(sizeHint());
}

QSize OnboardingMarks::sizeHint() const
{
    return QSize(std::max(0, m_count * 13 + (m_count - 1) * 5), 2);
}

QColor OnboardingMarks::barColor(int i) const
{
    if (i == m_index) return TarnwickTheme::accent();
    return withAlpha(TarnwickTheme::textPrimary(), i < m_index ? 0.38 : 0.13);
}

void OnboardingMarks::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < m_count; ++i) {
        QPainterPath bar;
        bar.addRoundedRect(QRectF(i * 18, 0, 13, 2), 1, 1);
        p.fillPath(bar, barColor(i));
    }
}

OnboardingListening::OnboardingListening(const QString& label, bool urgent, bool reduceMotion, QWidget* parent)
    : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    m_glyph = new QLabel(this);
    m_glyph->setFixedSize(12, 12);
    m_text = new QLabel(this);
    m_text->setTextFormat(Qt::PlainText);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(TarnwickType::pointSize(10));
    font.setWeight(QFont::Medium);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.1);
    m_text->setFont(font);
    row->addWidget(m_glyph, 0, Qt::AlignVCenter);
    row->addWidget(m_text, 0, Qt::AlignVCenter);
    if (!reduceMotion) {
        auto* fade = new QGraphicsOpacityEffect(m_glyph);
        m_glyph->setGraphicsEffect(fade);
        m_breath = new QVariantAnimation(this);
        m_breath->setStartValue(1.0);
        m_breath->setKeyValueAt(0.5, 0.35);
        m_breath->setEndValue(1.0);
        m_breath->setDuration(1800);
        m_breath->setEasingCurve(QEasingCurve::InOutSine);
        m_breath->setLoopCount(-1);
        connect(m_breath, &QVariantAnimation::valueChanged, fade,
                [fade](const QVariant& v) { fade->setOpacity(v.toReal()); });
        m_breath->start();
    }
    setLabel(label, urgent);
}

void OnboardingListening::setLabel(const QString& label, bool urgent)
{
    m_label = label;
    m_urgent = urgent;
    restyle();
}

void OnboardingListening::restyle()
{
    const QColor& color = m_urgent ? TarnwickTheme::accent() : TarnwickTheme::textTertiary();
    m_glyph->setPixmap(Symbols::tinted(QStringLiteral("keyboard"), color, 12).pixmap(12, 12));
    m_text->setText(m_label.toUpper());
    QPalette palette = m_text->palette();
    palette.setColor(QPalette::WindowText, color);
    m_text->setPalette(palette);
    setAccessibleName(m_label);
}
