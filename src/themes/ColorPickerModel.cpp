#include "themes/ColorPickerModel.h"

#include "design/HexColor.h"
#include "themes/ColorMath.h"

ColorPickerModel::ColorPickerModel(QList<QColor> swatches, Binding binding)
    : m_swatches(std::move(swatches)), m_binding(std::move(binding))
{
    refreshHsb();
}

QColor ColorPickerModel::color() const
{
    return m_binding.get ? m_binding.get() : QColor(Qt::white);
}

QString ColorPickerModel::hex() const
{
    return hexString(color());
}

void ColorPickerModel::write(const QColor& color)
{
    if (m_binding.set) m_binding.set(color);
    refreshHsb();
}

void ColorPickerModel::refreshHsb()
{
    const HSB c = hsb(color());
    m_h = c.h;
    m_s = c.s;
    m_b = c.b;
}

void ColorPickerModel::shown()
{
    m_draft = hex();
}

void ColorPickerModel::edited(const QString& text)
{
    m_draft = text;
    if (const auto parsed = colorFromHex(text)) write(*parsed);
}

void ColorPickerModel::submitted()
{
    const auto parsed = colorFromHex(m_draft);
    if (parsed && hexString(*parsed) != hex()) write(*parsed);
}

void ColorPickerModel::pickSwatch(int index)
{
    if (index < 0 || index >= m_swatches.size()) return;
    write(m_swatches[index]);
    m_draft = hexString(m_swatches[index]);
}

bool ColorPickerModel::isSwatchSelected(int index) const
{
    return index >= 0 && index < m_swatches.size() && hexString(m_swatches[index]) == hex();
}

void ColorPickerModel::wheelStep(const QPointF& point, double radius)
{
    const auto picked = ColorMath::wheelColor(point, radius, m_b);
    if (!picked) return;
    write(*picked);
    // The field follows, so Return afterwards keeps the new colour instead of bringing back the old.
    m_draft = hex();
}

void ColorPickerModel::sliderStep(double x, double width)
{
    const auto brightness = ColorMath::sliderBrightness(x, width);
    if (!brightness) return;
    write(ColorMath::fromHsb(m_h, m_s, *brightness));
    m_draft = hex();
}
