#include "themes/NotePalette.h"

#include "design/HexColor.h"
#include "model/Note.h"
#include "platform/NotificationCenter.h"
#include "store/NoteStore.h"
#include "store/NoteThemes.h"

namespace {
const QString kSystem = QStringLiteral("System");
}

NotePalette::NotePalette(NoteStore& store, Note& note, Editors editors)
    : m_store(store), m_note(&note), m_editors(std::move(editors))
{
}

ResolvedNoteTheme NotePalette::look() const
{
    return m_note ? m_store.look(*m_note).theme : ResolvedNoteTheme();
}

QVector<ResolvedNoteTheme> NotePalette::themes() const
{
    return NoteThemes::library(m_store.storedThemes());
}

QString NotePalette::selectedID() const
{
    return look().id;
}

bool NotePalette::hasOverrides() const
{
    return m_note && (m_note->paperHexOverride() || m_note->inkHexOverride() || m_note->fontFamilyOverride());
}

void NotePalette::pick(const QString& themeID)
{
    if (m_note) m_store.setTheme(themeID, *m_note);
}

void NotePalette::edit(const QString& themeID)
{
    // No note: saving changes the theme for every note wearing it, not which theme this note wears.
    if (m_editors.edit) m_editors.edit(themeID);
}

void NotePalette::create()
{
    if (m_note && m_editors.create) m_editors.create(look(), m_note);
}

QColor NotePalette::paper() const
{
    return look().paper;
}

void NotePalette::setPaper(const QColor& color)
{
    if (!m_note) return;
    m_note->setPaperHexOverride(hexString(color));
    changed();
}

QColor NotePalette::ink() const
{
    return look().ink;
}

void NotePalette::setInk(const QColor& color)
{
    if (!m_note) return;
    m_note->setInkHexOverride(hexString(color));
    changed();
}

QString NotePalette::family() const
{
    return look().fontFamily.value_or(kSystem);
}

void NotePalette::setFamily(const QString& family)
{
    if (!m_note) return;
    m_note->setFontFamilyOverride(family == kSystem ? std::nullopt : std::optional<QString>(family));
    changed();
}

void NotePalette::clearOverrides()
{
    if (!m_note) return;
    m_note->setInkHexOverride(std::nullopt);
    m_note->setPaperHexOverride(std::nullopt);
    m_note->setFontFamilyOverride(std::nullopt);
    changed();
}

void NotePalette::saveAsTheme(const QString& name)
{
    if (!m_note) return;
    QString trimmed = name;
    // Only spaces and tabs count as blank here; a name is otherwise taken as typed.
    while (!trimmed.isEmpty() && (trimmed.front() == u' ' || trimmed.front() == u'\t')) trimmed.remove(0, 1);
    while (!trimmed.isEmpty() && (trimmed.back() == u' ' || trimmed.back() == u'\t')) trimmed.chop(1);
    m_store.saveLookAsTheme(trimmed.isEmpty() ? QStringLiteral("My theme") : trimmed, *m_note);
}

void NotePalette::changed()
{
    m_store.saveNow();
    m_store.notifications().post(tarnwickThemeChanged);
}
