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
    connect(m_sleepChange, &QVariantAnimation::valueChanged, this, qOverload<>(&QWidget::update));
    m_checkFade = new QVariantAnimation(this);
    m_checkFade->setStartValue(0.0);
    m_checkFade->setEndValue(1.0);
    m_checkFade->setDuration(int(kCheckFadeSeconds * 1000));
    m_checkFade->setEasingCurve(tourCurve());
    connect(m_checkFade, &QVariantAnimation::valueChanged, this, qOverload<>(&QWidget::update));
    updateAccessibleName();
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

void OnboardingKeycap::setEarned(bool earned)
{
    if (earned == m_earned) return;
    m_earned = earned;
    updateAccessibleName();
    updateGeometry();
    if (earned && !m_reduceMotion && isVisible()) m_checkFade->start();
    update();
}

void OnboardingKeycap::continueFrom(const OnboardingKeycap& before)
{
    if (m_earned && !before.m_earned && !m_reduceMotion) m_checkFade->start();
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
    QList<qreal> items;
    for (const QString& key : m_keys) {
        const qreal w = std::max(kKeyMinText, keyMetrics.horizontalAdvance(key)) + 2 * kKeyPadX;
        m.keyWidths << w;
        if (!items.isEmpty()) items << m.plusWidth;
        items << w;
    }
    if (m_earned) items << kCheckLead + kCheckSize;
    for (qreal w : items) m.width += w;
    if (items.size() > 1) m.width += kItemSpacing * (items.size() - 1);
    return m;
}

QSize OnboardingKeycap::naturalSize() const
{
    const Metrics m = metrics();
    return QSize(int(std::ceil(m.width)), int(std::ceil(m.keyHeight + kPressDrop + kShadowRoom)));
}

QSize OnboardingKeycap::minimumSizeHint() const
{
    return QSize(0, naturalSize().height());
}

qreal OnboardingKeycap::scale() const
{
    const QSize natural = naturalSize();
    if (natural.width() <= 0 || width() >= natural.width()) return 1.0;
    return qreal(width()) / natural.width();
}

QList<QRectF> OnboardingKeycap::keyRects() const
{
    const Metrics m = metrics();
    const qreal s = scale();
    const qreal x0 = (width() - m.width * s) / 2;
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
    if (m_keys.isEmpty() && !m_earned) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Metrics m = metrics();
    const qreal s = scale();
    const qreal rowHeight = m.keyHeight + kPressDrop + kShadowRoom;
    p.translate((width() - m.width * s) / 2, (height() - rowHeight * s) / 2);
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
    if (m_earned) {
        x += (m_keys.isEmpty() ? 0 : kItemSpacing) + kCheckLead;
        const QPixmap check = Symbols::tinted(QStringLiteral("checkmark"), TarnwickTheme::success(), int(kCheckSize))
                                  .pixmap(int(kCheckSize), int(kCheckSize));
        if (m_checkFade->state() == QAbstractAnimation::Running) p.setOpacity(m_checkFade->currentValue().toReal());
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
