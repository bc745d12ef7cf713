#pragma once

#include <QColor>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

#include "model/ResolvedNoteTheme.h"

#include "model/Note.h"
class NoteStore;

// What a note's look palette does: pick the note's theme, open the theme window on a theme or a new
// one, give the note its own paper, ink and typeface, drop them again, or save the look as a theme.
// Every change is written to the note, saved and announced at once; the look shown is always
// resolved afresh from the store.
class NotePalette {
public:
    // How the palette reaches the theme window.
    struct Editors {
        std::function<void(const QString& themeID)> edit;
        std::function<void(const ResolvedNoteTheme& basedOn, Note* applyTo)> create;
    };

    NotePalette(NoteStore& store, Note& note, Editors editors);

    Note* note() const { return m_note; }
    // The note's theme with its overrides on top.
    ResolvedNoteTheme look() const;
    // The theme library: the built-in themes, then the user's own.
    QVector<ResolvedNoteTheme> themes() const;
    QString selectedID() const;
    bool hasOverrides() const;

    void pick(const QString& themeID);
    void edit(const QString& themeID);
    void create();

    QColor paper() const;
    void setPaper(const QColor& color);
    QColor ink() const;
    void setInk(const QColor& color);
    // The look's family, or "System" for the system font.
    QString family() const;
    // "System" drops the note's own typeface; anything else becomes it.
    void setFamily(const QString& family);

    void clearOverrides();
    // Stores the look as a theme named `name` (blank: "My theme") and moves the note onto it.
    void saveAsTheme(const QString& name);

private:
    void changed();

    NoteStore& m_store;
    QPointer<Note> m_note;
    Editors m_editors;
};
