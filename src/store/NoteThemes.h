#pragma once

#include <QString>
#include <QVector>

#include "model/ResolvedNoteTheme.h"
#include "model/Tint.h"

class Settings;

// Posted, with no object and no user info, whenever stored themes or the theme a note uses change;
// the note views redraw and the store's theme cache empties itself.
inline const QString tarnwickThemeChanged = QStringLiteral("tarnwickThemeChanged");

// Which theme a note gets: the default for new notes, the resolution of a theme id, and the ordered
// theme library shown in pickers. Stored themes come in fetch order.
struct NoteThemes {
    // "notes.defaultThemeID", else "general.defaultTint", else "blue"; empty text counts as unset.
    // Not checked against the stored themes: resolution deals with unknown ids.
    static QString defaultThemeID(const Settings& settings);

    // The first stored theme with the id (or, for an empty id, with the tint's raw value: a stored
    // copy of the built-in theme), else the tint's built-in theme. Built-in themes are never looked
    // up by id, so an unknown id falls back to the note's own tint.
    static ResolvedNoteTheme resolve(const QString& themeID, Tint tint, const QVector<ResolvedNoteTheme>& stored);

    // The six tints in case order (each the first stored copy, else the built-in theme), then every
    // stored theme whose id is not a tint's, in stored order.
    static QVector<ResolvedNoteTheme> library(const QVector<ResolvedNoteTheme>& stored);

    // The tint whose raw value is the id, else blue.
    static Tint tintForThemeID(const QString& themeID);
};
