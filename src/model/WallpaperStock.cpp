#include "model/WallpaperStock.h"

namespace {

struct StockInfo {
    const char* raw;
    float start[3];
    float end[3];
    int lineSetCount;
    WallpaperStock::LineSet lineSets[2];
};

const StockInfo kStock[] = {
    {"oat", {0.957f, 0.929f, 0.878f}, {0.937f, 0.898f, 0.831f}, 1, {{92, 4, 0.7, 0.055}, {}}},
    {"linen", {0.965f, 0.949f, 0.918f}, {0.929f, 0.906f, 0.859f}, 2, {{45, 5, 0.6, 0.055}, {-45, 5, 0.6, 0.045}}},
    {"laid", {0.949f, 0.937f, 0.91f}, {0.925f, 0.906f, 0.867f}, 2, {{0, 3, 0.5, 0.045}, {90, 14, 0.8, 0.05}}},
    {"canvas", {0.945f, 0.925f, 0.89f}, {0.91f, 0.882f, 0.835f}, 2, {{0, 3, 0.9, 0.06}, {90, 3, 0.9, 0.05}}},
    {"weave", {0.937f, 0.929f, 0.91f}, {0.902f, 0.89f, 0.863f}, 2, {{30, 6, 0.8, 0.06}, {-30, 6, 0.8, 0.05}}},
    {"dawn", {0.98f, 0.941f, 0.91f}, {0.941f, 0.898f, 0.906f}, 0, {}},
    {"dusk", {0.929f, 0.914f, 0.945f}, {0.886f, 0.898f, 0.933f}, 0, {}},
    {"meadow", {0.918f, 0.945f, 0.902f}, {0.89f, 0.925f, 0.882f}, 0, {}},
    {"grid", {0.929f, 0.949f, 0.965f}, {0.902f, 0.929f, 0.953f}, 2, {{0, 12, 0.7, 0.1}, {90, 12, 0.7, 0.1}}},
    {"rule", {0.965f, 0.957f, 0.941f}, {0.949f, 0.941f, 0.925f}, 1, {{0, 13, 0.7, 0.09}, {}}},
};

}  // namespace

std::optional<WallpaperStock> WallpaperStock::fromRawValue(const QString& raw)
{
    for (WallpaperStock s : allCases())
        if (raw == QLatin1String(kStock[s].raw)) return s;
    return std::nullopt;
}

const std::array<WallpaperStock, 10>& WallpaperStock::allCases()
{
    static const std::array<WallpaperStock, 10> cases{oat, linen, laid, canvas, weave, dawn, dusk, meadow, grid, rule};
    return cases;
}

QString WallpaperStock::rawValue() const
{
    return QLatin1String(kStock[m_value].raw);
}

WallpaperStock::Wash WallpaperStock::wash() const
{
    const StockInfo& s = kStock[m_value];
    return Wash{QColor::fromRgbF(s.start[0], s.start[1], s.start[2]), QColor::fromRgbF(s.end[0], s.end[1], s.end[2])};
}

QVector<WallpaperStock::LineSet> WallpaperStock::lineSets() const
{
    const StockInfo& s = kStock[m_value];
    return QVector<LineSet>(s.lineSets, s.lineSets + s.lineSetCount);
}
