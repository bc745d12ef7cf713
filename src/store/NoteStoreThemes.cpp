// The note store's theme resolution and theme library.
#include <QUuid>

#include "model/Note.h"
#include "model/NoteTheme.h"
#include "model/Wallpaper.h"
#include "platform/ModelContext.h"
#include "platform/NotificationCenter.h"
#include "store/NoteStore.h"
#include "store/NoteThemes.h"

namespace {
template <typename T>
QList<T*> rowsWithID(ModelContext& context, const QString& id)
{
    FetchDescriptor<T> descriptor;
    descriptor.predicate = [&id](const T& row) { return row.id() == id; };
    auto rows = context.fetch(descriptor);
    return rows ? *rows : QList<T*>();
}

}  // namespace

ResolvedNoteLook NoteStore::look(const Note& note)
{
    return ResolvedNoteLook::resolve(note, storedThemes());
}

QVector<ResolvedNoteTheme> NoteStore::storedThemes()
{
    return m_themeCache.themes([this] {
        QVector<ResolvedNoteTheme> themes;
        auto rows = m_context.fetch<NoteTheme>();
        if (!rows) return themes;
        themes.reserve(rows->size());
        for (const NoteTheme* row : *rows) themes.push_back(row->resolved());
        return themes;
    });
}

ResolvedNoteTheme NoteStore::defaultTheme()
{
    const QString id = NoteThemes::defaultThemeID(m_settings);
    return NoteThemes::resolve(id, NoteThemes::tintForThemeID(id), storedThemes());
}

void NoteStore::setTheme(const QString& themeID, Note& note)
{
    note.setThemeID(themeID);
    if (const auto tint = Tint::fromRawValue(themeID)) note.setTint(*tint);
    saveNow();
    m_notifications.post(tarnwickThemeChanged);
}

NoteTheme* NoteStore::saveLookAsTheme(const QString& name, Note& note)
{
    const ResolvedNoteLook current = look(note);
    // Ink is always stored, so the theme keeps the ink the note showed even if the default changes.
    auto row = std::make_unique<NoteTheme>(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), name,
                                           current.theme.paper, current.theme.fontFamily, current.theme.ink, 1.0,
                                           current.theme.lineHeight);
    row->setWallpaperID(current.wallpaper ? std::optional<QString>(current.wallpaper->text()) : std::nullopt);
    row->setWallpaperBrightness(current.brightness);
    row->setWallpaperBlur(current.blur);
    NoteTheme* saved = m_context.insert(std::move(row));

    note.setThemeID(saved->id());
    note.setWallpaperID(std::nullopt);
    note.setWallpaperBrightness(std::nullopt);
    note.setWallpaperBlur(std::nullopt);
    note.setFontFamilyOverride(std::nullopt);
    note.setInkHexOverride(std::nullopt);
    note.setPaperHexOverride(std::nullopt);
    saveNow();
    m_notifications.post(tarnwickThemeChanged);
    return saved;
}

NoteTheme* NoteStore::themeRow(const QString& themeID)
{
    const QList<NoteTheme*> rows = rowsWithID<NoteTheme>(m_context, themeID);
    if (!rows.isEmpty()) return rows.first();

    // A theme that is gone (deleted elsewhere while its editor was open) comes back under its own id.
    // Under a tint's id it would take the place of that built-in theme and, with the editor's higher
    // revision, replace the user's stored copy of it at the next reconciliation.
    const ResolvedNoteTheme builtIn = NoteTheme::builtIn(NoteThemes::tintForThemeID(themeID));
    const QString id = themeID.isEmpty() ? builtIn.id : themeID;
    NoteTheme* row = m_context.insert(
        std::make_unique<NoteTheme>(id, builtIn.name, builtIn.paper, builtIn.fontFamily, builtIn.ink, 1.0, 0));
    saveNow();
    return row;
}

void NoteStore::deleteTheme(const QString& themeID)
{
    const QList<NoteTheme*> rows = rowsWithID<NoteTheme>(m_context, themeID);
    if (rows.isEmpty()) return;
    m_context.remove(rows.first());
    saveNow();
    m_notifications.post(tarnwickThemeChanged);
}

std::optional<QByteArray> NoteStore::wallpaperData(const QString& wallpaperID)
{
    const QList<Wallpaper*> rows = rowsWithID<Wallpaper>(m_context, wallpaperID);
    if (rows.isEmpty()) return std::nullopt;
    return rows.first()->data();
}

void NoteStore::invalidateThemeCache()
{
    m_themeCache.clear();
}
