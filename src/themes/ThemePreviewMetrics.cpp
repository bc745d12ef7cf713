#include "themes/ThemePreviewMetrics.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

#include "design/TarnwickType.h"

QFont ThemePreviewMetrics::bodyFont(const std::optional<QString>& family, double designSize, QFont::Weight weight)
{
    if (!family) return TarnwickType::system(designSize, weight);
    QFont font(*family);
    font.setPointSizeF(TarnwickType::pointSize(designSize));
    font.setWeight(weight);
    return font;
}

double ThemePreviewMetrics::lineSpacing(const std::optional<QString>& family, double lineHeight)
{
    if (!std::isfinite(lineHeight)) return 0;
    const bool installed = family && QFontDatabase::hasFamily(*family);
    const QFontMetricsF metrics(bodyFont(installed ? family : std::nullopt, bodySize));
    const double natural = std::ceil(metrics.ascent() + metrics.descent() + metrics.leading());
    return std::max(lineHeight * bodySize - natural, 0.0);
}
