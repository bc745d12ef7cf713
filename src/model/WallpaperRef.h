#pragma once

#include <QString>
#include <optional>

#include "model/WallpaperStock.h"

// A wallpaper reference, stored as "stock." and a pattern's raw value, or "user:" and a Wallpaper id.
class WallpaperRef {
public:
    enum class Kind { stock, user };

    static WallpaperRef makeStock(WallpaperStock stock) { return WallpaperRef(Kind::stock, stock, QString()); }
    static WallpaperRef makeUser(const QString& id) { return WallpaperRef(Kind::user, WallpaperStock::oat, id); }

    // None for absent, empty or malformed text. Prefixes and names are matched exactly.
    static std::optional<WallpaperRef> parse(const std::optional<QString>& text);

    Kind kind() const { return m_kind; }
    // Meaningful only for the matching kind.
    WallpaperStock stock() const { return m_stock; }
    QString userID() const { return m_userID; }

    // The stored text form.
    QString text() const;

    bool operator==(const WallpaperRef& other) const
    {
        return m_kind == other.m_kind &&
               (m_kind == Kind::stock ? m_stock == other.m_stock : m_userID == other.m_userID);
    }

private:
    WallpaperRef(Kind k, WallpaperStock s, const QString& id) : m_kind(k), m_stock(s), m_userID(id) {}
    Kind m_kind;
    WallpaperStock m_stock;
    QString m_userID;
};
