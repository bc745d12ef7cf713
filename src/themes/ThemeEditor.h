#pragma once

#include <QColor>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "model/ResolvedNoteTheme.h"

#include "model/Note.h"
class NoteStore;

// The form of the theme window: a theme's name, paper, ink, typeface and line height, loaded from the
// theme being edited (or the look a new theme starts from) and written to the store only by Save.
// Also the tables of typefaces, swatches and line heights that the note's palette shares.
class ThemeEditor {
public:
    struct LineHeight {
        QString name;
        double value;
    };

    // Edits the theme with the id; a theme that cannot be found starts from the built-in blue theme.
    ThemeEditor(NoteStore& store, const QString& themeID, Note* applyTo, std::function<void()> onFinish);
    // Makes a new theme from `base`.
    static ThemeEditor creatingFrom(NoteStore& store, const ResolvedNoteTheme& base, Note* applyTo,
                                    std::function<void()> onFinish);

    // "System", then the installed families of the curated list (looked up once per process).
    static const QStringList& families();
    static const QList<QColor>& paperSwatches();
    static const QList<QColor>& inkSwatches();
    static const QList<LineHeight>& lineHeights();
    // The value of the preset closest to `v`; ties go to the earlier one.
    static double nearestLineHeight(double v);

    const std::optional<QString>& themeID() const { return m_themeID; }
    const ResolvedNoteTheme& base() const { return m_base; }
    Note* applyTo() const { return m_applyTo; }

    // Fills the form from the store, the first time only.
    void load();

    QString name;
    QColor paper = Qt::white;
    QColor ink;
    QString family = QStringLiteral("System");
    double lineHeight = 1.45;

    // The typeface menu: families(), with the form's family added when it is not in the list (a theme
    // naming a typeface that is not installed keeps it).
    QStringList familyChoices() const;
    std::optional<QString> resolvedFamily() const;

    bool canDelete() const;
    // Writes the form to the theme's row and finishes. False when the store could not write the
    // notes file: the change is held in memory, the form stays and the editor does not finish.
    bool save();
    void deleteTheme();

private:
    ThemeEditor(NoteStore& store, std::optional<QString> themeID, ResolvedNoteTheme base, Note* applyTo,
                std::function<void()> onFinish);

    NoteStore& m_store;
    std::optional<QString> m_themeID;
    ResolvedNoteTheme m_base;
    QPointer<Note> m_applyTo;
    std::function<void()> m_onFinish;
    bool m_loaded = false;
    // The id of the row a failed first Save made, so that saving again does not make a second theme.
    std::optional<QString> m_createdID;
};
