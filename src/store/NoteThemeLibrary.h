#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <functional>
#include <optional>

#include "model/ResolvedNoteTheme.h"
#include "platform/NotificationCenter.h"
#include "store/ResolvedNoteLook.h"
#include "store/ThemeCache.h"

class ModelContext;
class Note;
class NoteTheme;

// The store's theme operations over its context: a note's look, the stored themes (cached), the
// theme for new notes, and setting, saving, materialising and deleting themes. Operations that
// change themes save through the store's own save (so its revision moves) and post
// tarnwickThemeChanged. Fetch errors are swallowed: no theme, no bytes, nothing deleted.
class NoteThemeLibrary {
public:
    NoteThemeLibrary(ModelContext& context, std::function<void()> saveNow,
                     NotificationCenter& center = NotificationCenter::shared());

    ResolvedNoteLook look(const Note& note);
    // Every stored theme resolved, in fetch order; from the cache when loaded.
    QVector<ResolvedNoteTheme> storedThemes();
    // The theme a new note would get.
    ResolvedNoteTheme defaultTheme();

    // Names the theme on the note (and its tint, for a tint's id); the note's overrides stay.
    void setTheme(const QString& themeID, Note& note);
    // Stores the note's current look as a new theme and moves the note onto it without overrides,
    // so it looks the same. The row belongs to the context.
    NoteTheme* saveLookAsTheme(const QString& name, Note& note);
    // The first stored row with the id; else a new one, saved but not announced (the caller edits it
    // and then posts tarnwickThemeChanged).
    NoteTheme* themeRow(const QString& themeID);
    // Deletes the first row with the id. Notes keep naming it and fall back to their tint's theme.
    void deleteTheme(const QString& themeID);
    // The bytes of the user wallpaper with the id.
    std::optional<QByteArray> wallpaperData(const QString& wallpaperID);

    // Forgets the cached themes. For changes to theme rows made without tarnwickThemeChanged, such as
    // the start-up reconciliation of duplicate rows, which must call this once it has saved.
    void invalidateThemeCache() { m_cache.clear(); }

private:
    void themesChanged();

    ModelContext& m_context;
    std::function<void()> m_saveNow;
    NotificationCenter& m_center;
    ThemeCache m_cache;
};
