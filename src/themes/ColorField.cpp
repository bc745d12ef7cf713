#include "themes/ColorField.h"

#include <QConicalGradient>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QVBoxLayout>
#include <cmath>

#include "design/HexColor.h"
#include "design/LightPalette.h"
#include "design/Symbols.h"
#include "design/TarnwickStyle.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "themes/ColorMath.h"

namespace {

QString css(const QColor& colour)
{
    return colour.name(QColor::HexArgb);
}

QFont monoFont(qreal designSize)
{
    QFont font = TarnwickType::mono();
    font.setPointSizeF(TarnwickType::pointSize(designSize));
    return font;
}

// The field's button: a 38 × 20 swatch of the colour and a chevron; the whole rectangle takes clicks.
class SwatchButton : public QAbstractButton {
public:
    explicit SwatchButton(QWidget* parent) : QAbstractButton(parent)
    {
        setFixedSize(38 + 5 + 9, 20);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
    }
    QColor color;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(0.5, 0.5, 37, 19), 4, 4);
        p.fillPath(path, color);
        p.setPen(QPen(TarnwickTheme::hairline(), 1));
        p.drawPath(path);
        Symbols::tinted(QStringLiteral("chevron.down"), TarnwickTheme::textTertiary(), 9)
            .paint(&p, QRect(38 + 5, (height() - 9) / 2, 9, 9));
        if (hasFocus()) TarnwickStyle::drawFocusRing(p, QRectF(2, 2, 34, 16), 3);
    }
};

// A preset colour: a rounded square, ringed in the accent colour when it is the current colour.
class SwatchCell : public QAbstractButton {
public:
    SwatchCell(const QColor& color, QWidget* parent) : QAbstractButton(parent), m_color(color)
    {
        const QString code = hexString(color);
        setToolTip(code);
        setAccessibleName(code);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
        setCheckable(false);
    }
    bool selected = false;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal inset = selected ? 1 : 0.5;
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), 5, 5);
        p.fillPath(path, m_color);
        p.setPen(QPen(selected ? TarnwickTheme::accent() : TarnwickTheme::hairline(), selected ? 2 : 1));
        p.drawPath(path);
    }

private:
    QColor m_color;
};

// Hue and saturation on a disc; each press or drag step inside it writes a colour.
class ColorWheel : public QWidget {
public:
    static constexpr int kDisc = 84;
    // Room around the disc for the marker, which stands out past the rim when the colour is saturated.
    static constexpr int kInset = 8;

    // The wheel stands over `place` (a kDisc square in the layout), spilling kInset past it on every side.
    ColorWheel(ColorPickerModel& model, std::function<void()> wrote, QWidget* place)
        : QWidget(place->parentWidget()), m_model(model), m_wrote(std::move(wrote)), m_place(place)
    {
        place->setFixedSize(kDisc, kDisc);
        setFixedSize(kDisc + 2 * kInset, kDisc + 2 * kInset);
        // Round, so the spill past the square does not take the clicks of the controls beside it.
        setMask(QRegion(rect(), QRegion::Ellipse));
        setAccessibleName(tr("Colour wheel"));
        setCursor(Qt::CrossCursor);
        place->installEventFilter(this);
    }

protected:
    double radius() const { return kDisc / 2.0; }
    QPointF onDisc(const QPointF& at) const { return at - QPointF(kInset, kInset); }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_place &&
            (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
            move(m_place->pos() - QPoint(kInset, kInset));
            raise();
        }
        return QWidget::eventFilter(watched, event);
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const double r = radius();
        p.translate(kInset, kInset);
        const QRectF disc(0, 0, 2 * r, 2 * r);
        QConicalGradient hues(disc.center(), ColorMath::conicalStartAngle);
        const QColor stops[] = {Qt::red, Qt::yellow, Qt::green, Qt::cyan, Qt::blue, Qt::magenta, Qt::red};
        for (int i = 0; i < 7; ++i) hues.setColorAt(ColorMath::conicalStop(i / 6.0), stops[i]);
        p.setPen(Qt::NoPen);
        p.setBrush(hues);
        p.drawEllipse(disc);
        QRadialGradient wash(disc.center(), r);
        wash.setColorAt(0, Qt::white);
        wash.setColorAt(1, QColor(255, 255, 255, 0));
        p.setBrush(wash);
        p.drawEllipse(disc);

        const QColor current = m_model.color();
        const HSB c = hsb(current);
        const QPointF marker = ColorMath::wheelMarker(c.h, c.s, r);
        p.setBrush(QColor(0, 0, 0, 89));
        p.drawEllipse(marker, 7.5, 7.5);
        p.setBrush(current);
        p.setPen(QPen(Qt::white, 2));
        p.drawEllipse(marker, 5.5, 5.5);
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        const QPointF d = onDisc(event->position()) - QPointF(radius(), radius());
        m_dragging = std::hypot(d.x(), d.y()) <= radius();
        if (m_dragging)
            step(onDisc(event->position()));
        else
            event->ignore();
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (m_dragging) step(onDisc(event->position()));
    }
    void mouseReleaseEvent(QMouseEvent*) override { m_dragging = false; }

private:
    void step(const QPointF& at)
    {
        m_model.wheelStep(at, radius());
        m_wrote();
    }

    ColorPickerModel& m_model;
    std::function<void()> m_wrote;
    QWidget* m_place;
    bool m_dragging = false;
};

// Brightness along a track; hue and saturation stay.
class BrightnessSlider : public QWidget {
public:
    BrightnessSlider(ColorPickerModel& model, std::function<void()> wrote, QWidget* parent)
        : QWidget(parent), m_model(model), m_wrote(std::move(wrote))
    {
        setFixedSize(84, 16);
        setAccessibleName(tr("Brightness"));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const HSB c = hsb(m_model.color());
        setAccessibleDescription(ColorMath::sliderAccessibleValue(c.b));
        QLinearGradient track(0, 0, width(), 0);
        track.setColorAt(0, ColorMath::fromHsb(c.h, c.s, ColorMath::brightnessFloor));
        track.setColorAt(1, ColorMath::fromHsb(c.h, c.s, 1));
        QPainterPath capsule;
        capsule.addRoundedRect(QRectF(0.5, 0.5, width() - 1, height() - 1), (height() - 1) / 2.0, (height() - 1) / 2.0);
        p.fillPath(capsule, track);
        p.setPen(QPen(TarnwickTheme::hairline(), 1));
        p.drawPath(capsule);
        const double left = ColorMath::sliderKnobLeft(c.b, width());
        const QRectF knob(left + 1, 1, 12, 12);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 89));
        p.drawEllipse(knob.adjusted(-1, -1, 1, 1));
        p.setBrush(QColor::fromHsvF(float(c.h), float(c.s), float(c.b)));
        p.setPen(QPen(Qt::white, 2));
        p.drawEllipse(knob);
    }
    void mousePressEvent(QMouseEvent* event) override { step(event->position().x()); }
    void mouseMoveEvent(QMouseEvent* event) override { step(event->position().x()); }

private:
    void step(double x)
    {
        m_model.sliderStep(x, width());
        m_wrote();
    }

    ColorPickerModel& m_model;
    std::function<void()> m_wrote;
};

}  // namespace

// ---- The field ----

ColorField::ColorField(const QString& title, QList<QColor> swatches, ColorPickerModel::Binding binding, QWidget* parent)
    : QWidget(parent), m_title(title), m_swatches(std::move(swatches)), m_binding(std::move(binding))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    auto* label = new QLabel(title, this);
    label->setTextFormat(Qt::PlainText);
    label->setFont(TarnwickType::system(13));
    label->setStyleSheet(QStringLiteral("color: %1").arg(css(TarnwickTheme::textPrimary())));
    m_hex = new QLabel(this);
    m_hex->setTextFormat(Qt::PlainText);
    m_hex->setFont(monoFont(11.5));
    m_hex->setStyleSheet(QStringLiteral("color: %1").arg(css(TarnwickTheme::textSecondary())));
    m_button = new SwatchButton(this);
    m_button->setObjectName(QStringLiteral("swatchButton"));
    m_button->setToolTip(tr("Choose %1").arg(title.toLower()));
    connect(m_button, &QAbstractButton::clicked, this, &ColorField::showPicker);
    row->addWidget(label);
    row->addStretch(1);
    row->addWidget(m_hex);
    row->addWidget(m_button);
    refresh();
}

void ColorField::refresh()
{
    const QColor colour = m_binding.get ? m_binding.get() : QColor(Qt::white);
    const QString code = hexString(colour);
    m_hex->setText(code);
    static_cast<SwatchButton*>(m_button)->color = colour;
    m_button->setAccessibleName(m_title + QStringLiteral(", ") + code);
    m_button->update();
    if (m_picker) m_picker->sync();
}

void ColorField::showPicker()
{
    // Only ever opens: the picker closes itself on Escape or a click elsewhere.
    if (m_picker) return;
    m_picker = new ColorPickerPopover(m_title, m_swatches, m_binding, m_button);
    connect(m_picker, &ColorPickerPopover::wrote, this, &ColorField::refresh);
    m_picker->popUp();
}

// ---- The picker ----

ColorPickerPopover::ColorPickerPopover(const QString& title, QList<QColor> swatches, ColorPickerModel::Binding binding,
                                       QWidget* anchor)
    : NotePopover(anchor), m_model(std::move(swatches), std::move(binding))
{
    setObjectName(QStringLiteral("colorPicker"));
    setPalette(LightPalette::make());
    setWindowTitle(title);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(12);

    auto* header = new QLabel(title.toUpper(), this);
    header->setTextFormat(Qt::PlainText);
    QFont headerFont = TarnwickType::system(11, QFont::DemiBold);
    headerFont.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    header->setFont(headerFont);
    header->setStyleSheet(QStringLiteral("color: %1").arg(css(TarnwickTheme::textSecondary())));
    column->addWidget(header);

    auto written = [this] {
        sync();
        Q_EMIT wrote();
    };
    if (!m_model.swatches().isEmpty()) {
        auto* grid = new QGridLayout;
        grid->setHorizontalSpacing(6);
        grid->setVerticalSpacing(6);
        const int side = (contentWidth - 5 * 6) / 6;
        for (int i = 0; i < m_model.swatches().size(); ++i) {
            auto* cell = new SwatchCell(m_model.swatches()[i], this);
            cell->setFixedSize(side, side);
            connect(cell, &QAbstractButton::clicked, this, [this, i, written] {
                m_model.pickSwatch(i);
                m_hexField->setText(m_model.draft());
                written();
            });
            grid->addWidget(cell, i / 6, i % 6);
            m_swatchButtons << cell;
        }
        column->addLayout(grid);
    }

    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    auto* wheelPlace = new QWidget(this);
    row->addWidget(wheelPlace);
    m_wheel = new ColorWheel(
        m_model,
        [this, written] {
            m_hexField->setText(m_model.draft());
            written();
        },
        wheelPlace);
    auto* controls = new QVBoxLayout;
    controls->setSpacing(8);
    m_hexField = new QLineEdit(this);
    m_hexField->setObjectName(QStringLiteral("hexField"));
    m_hexField->setPlaceholderText(tr("Hex"));
    m_hexField->setFont(monoFont(12));
    m_hexField->setFixedWidth(84);
    m_hexField->setAccessibleName(title + tr(" hex value"));
    // Only the user's own edits apply: setText() from a pick or a drag writes nothing.
    connect(m_hexField, &QLineEdit::textEdited, this, [this, written](const QString& text) {
        m_model.edited(text);
        written();
    });
    connect(m_hexField, &QLineEdit::returnPressed, this, [this, written] {
        m_model.submitted();
        written();
    });
    m_slider = new BrightnessSlider(
        m_model,
        [this, written] {
            m_hexField->setText(m_model.draft());
            written();
        },
        this);
    // Centred beside the wheel, which is the taller of the two.
    controls->addStretch(1);
    controls->addWidget(m_hexField);
    controls->addWidget(m_slider);
    controls->addStretch(1);
    row->addLayout(controls);
    row->addStretch(1);
    column->addLayout(row);
    setFixedWidth(contentWidth + 24);
}

void ColorPickerPopover::popUp()
{
    m_model.shown();
    m_hexField->setText(m_model.draft());
    sync();
    NotePopover::popUp();
    activateWindow();
    m_hexField->setFocus(Qt::PopupFocusReason);
    m_hexField->selectAll();
}

void ColorPickerPopover::sync()
{
    for (int i = 0; i < m_swatchButtons.size(); ++i) {
        auto* cell = static_cast<SwatchCell*>(m_swatchButtons[i]);
        cell->selected = m_model.isSwatchSelected(i);
        cell->update();
    }
    m_wheel->update();
    m_slider->update();
}
