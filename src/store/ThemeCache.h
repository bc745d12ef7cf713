#pragma once

#include <QVector>
#include <functional>
#include <optional>

#include "model/ResolvedNoteTheme.h"
#include "platform/NotificationCenter.h"

// Resolved snapshots of every stored theme, in fetch order, so that drawing a note neither fetches
// nor resolves the theme rows. Emptied by every tarnwickThemeChanged, whoever posts it; changes to
// rows made without that notification must call clear() themselves (duplicate reconciliation does).
class ThemeCache {
public:
    explicit ThemeCache(NotificationCenter& center);
    ThemeCache(const ThemeCache&) = delete;
    ThemeCache& operator=(const ThemeCache&) = delete;

    // The cached list; when none is loaded, the result of `load`, which is kept (an empty list too).
    const QVector<ResolvedNoteTheme>& themes(const std::function<QVector<ResolvedNoteTheme>()>& load);
    bool isLoaded() const { return m_cached.has_value(); }
    void clear() { m_cached.reset(); }

private:
    std::optional<QVector<ResolvedNoteTheme>> m_cached;
    ObserverToken m_observer;
};
