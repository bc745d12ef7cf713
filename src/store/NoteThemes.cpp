#include "store/NoteThemes.h"

#include "model/NoteTheme.h"
#include "platform/Settings.h"

namespace {
const ResolvedNoteTheme* firstWithID(const QVector<ResolvedNoteTheme>& stored, const QString& id)
{
    for (const ResolvedNoteTheme& theme : stored)
        if (theme.id == id) return &theme;
    return nullptr;
}
}  // namespace

QString NoteThemes::defaultThemeID(const Settings& settings)
{
    const QString chosen = settings.stringValue(QStringLiteral("notes.defaultThemeID"));
    if (!chosen.isEmpty()) return chosen;
    const QString tint = settings.stringValue(QStringLiteral("general.defaultTint"));
    if (!tint.isEmpty()) return tint;
    return QStringLiteral("blue");
}

ResolvedNoteTheme NoteThemes::resolve(const QString& themeID, Tint tint, const QVector<ResolvedNoteTheme>& stored)
{
    const QString id = themeID.isEmpty() ? tint.rawValue() : themeID;
    if (const ResolvedNoteTheme* found = firstWithID(stored, id)) return *found;
    return NoteTheme::builtIn(tint);
}

QVector<ResolvedNoteTheme> NoteThemes::library(const QVector<ResolvedNoteTheme>& stored)
{
    QVector<ResolvedNoteTheme> themes;
    themes.reserve(stored.size() + int(Tint::allCases().size()));
    for (Tint tint : Tint::allCases()) {
        const ResolvedNoteTheme* copy = firstWithID(stored, tint.rawValue());
        themes.push_back(copy ? *copy : NoteTheme::builtIn(tint));
    }
    for (const ResolvedNoteTheme& theme : stored)
        if (!Tint::fromRawValue(theme.id)) themes.push_back(theme);
    return themes;
}

Tint NoteThemes::tintForThemeID(const QString& themeID)
{
    return Tint::fromRawValue(themeID).value_or(Tint::blue);
}
