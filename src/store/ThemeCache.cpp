#include "store/ThemeCache.h"

#include "store/NoteThemes.h"

ThemeCache::ThemeCache(NotificationCenter& center)
    : m_observer(center.observe(tarnwickThemeChanged, [this](const Notification&) { clear(); }))
{
}

const QVector<ResolvedNoteTheme>& ThemeCache::themes(const std::function<QVector<ResolvedNoteTheme>()>& load)
{
    if (!m_cached) m_cached = load();
    return *m_cached;
}
