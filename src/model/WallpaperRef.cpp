#include "model/WallpaperRef.h"

namespace {
const QLatin1String kStockPrefix("stock.");
const QLatin1String kUserPrefix("user:");
}  // namespace

std::optional<WallpaperRef> WallpaperRef::parse(const std::optional<QString>& text)
{
    if (!text || text->isEmpty()) return std::nullopt;
    if (text->startsWith(kStockPrefix)) {
        if (const auto stock = WallpaperStock::fromRawValue(text->mid(kStockPrefix.size()))) return makeStock(*stock);
        return std::nullopt;
    }
    if (text->startsWith(kUserPrefix)) return makeUser(text->mid(kUserPrefix.size()));
    return std::nullopt;
}

QString WallpaperRef::text() const
{
    return m_kind == Kind::stock ? kStockPrefix + m_stock.rawValue() : kUserPrefix + m_userID;
}
