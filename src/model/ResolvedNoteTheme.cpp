#include "model/ResolvedNoteTheme.h"

#include <algorithm>

ResolvedNoteTheme::Hsb ResolvedNoteTheme::hsb() const
{
    const QColor c = paper.isValid() ? paper.toHsv() : QColor(Qt::white).toHsv();
    float h, s, v;
    c.getHsvF(&h, &s, &v);
    return Hsb{h < 0 ? 0.0 : double(h), double(s), double(v)};
}

QColor ResolvedNoteTheme::badgeColor(double h, double s)
{
    // The lower bound first, then the upper.
    const double saturation = std::min(std::max(s * 3.2, 0.42), 0.60);
    return QColor::fromHsvF(float(h), float(saturation), 0.42f, 1.0f).toRgb();
}

QColor ResolvedNoteTheme::badge() const
{
    if (badgeOverride) return *badgeOverride;
    const Hsb p = hsb();
    return badgeColor(p.h, p.s);
}
