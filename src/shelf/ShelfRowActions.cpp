#include "shelf/ShelfRowActions.h"

#include <QClipboard>
#include <QGuiApplication>
#include <memory>

#include "model/Capture.h"
#include "model/Note.h"
#include "note/NoteDeletion.h"
#include "note/NoteNotifications.h"
#include "platform/ModelContext.h"
#include "platform/NotificationCenter.h"
#include "platform/Settings.h"
#include "shelf/ShelfSearchState.h"
#include "store/NoteStore.h"
#include "store/NoteThemes.h"

ShelfRowActions::ShelfRowActions(NoteStore& store, ShelfSearchState& state, Settings& settings, Hooks hooks)
    : m_store(store), m_state(state), m_settings(settings), m_hooks(std::move(hooks))
{
    if (!m_hooks.openNote) m_hooks.openNote = [](const QUuid&) {};
    if (!m_hooks.peekCapture) m_hooks.peekCapture = [](const QUuid&) {};
    if (!m_hooks.copyText) {
        m_hooks.copyText = [](const QString& text) {
            if (QClipboard* clipboard = QGuiApplication::clipboard()) {
                clipboard->clear();
                clipboard->setText(text);
            }
        };
    }
}

void ShelfRowActions::openNote(const Note& note)
{
    m_hooks.openNote(note.uuid());
}

void ShelfRowActions::togglePin(Note& note)
{
    note.setIsPinned(!note.isPinned());
    m_store.saveNow();
}

void ShelfRowActions::rollUp(const Note& note)
{
    const QUuid id = note.uuid();
    m_hooks.openNote(id);
    NotificationCenter::shared().post(tarnwickToggleRollUp, id.toString(QUuid::WithoutBraces).toUpper());
}

void ShelfRowActions::deleteNote(Note& note)
{
    m_state.setShowActions(false);
    NoteDeletion::perform(note, m_store);
}

void ShelfRowActions::peekCapture(const Capture& capture)
{
    m_hooks.peekCapture(capture.uuid());
}

void ShelfRowActions::togglePin(Capture& capture)
{
    capture.setIsPinned(!capture.isPinned());
    m_store.saveNow();
}

void ShelfRowActions::openCaptureNote(const Capture& capture)
{
    if (const auto noteID = capture.noteUUID()) m_hooks.openNote(*noteID);
}

void ShelfRowActions::copy(const Capture& capture)
{
    m_hooks.copyText(capture.text());
}

void ShelfRowActions::deleteCapture(const QUuid& captureID)
{
    m_state.setShowActions(false);
    Capture* capture = m_store.capture(captureID);
    if (!capture) return;
    m_store.context().remove(capture);
    m_store.saveNow();
}

void ShelfRowActions::restore(Note& note)
{
    m_state.setShowActions(false);
    m_store.restore(note);
}

void ShelfRowActions::purge(Note& note)
{
    m_store.purge(note);
}

void ShelfRowActions::emptyBin()
{
    m_state.setSelectedRow(std::nullopt);
    m_store.purge(m_store.trashed());
}

void ShelfRowActions::commit()
{
    const ShelfSearchState::Commit outcome = m_state.commit();
    if (outcome.kind != ShelfSearchState::Commit::Kind::activate || !outcome.row) return;
    const ShelfRow row = *outcome.row;
    switch (row.kind) {
        case ShelfRow::Kind::note:
            m_hooks.openNote(row.id);
            break;
        case ShelfRow::Kind::capture:
            m_hooks.peekCapture(row.id);
            break;
        case ShelfRow::Kind::binNote:
            // Restored without touching the actions row: Return is not a row command.
            if (Note* note = m_store.note(row.id); note && note->isTrashed()) m_store.restore(*note);
            break;
    }
}

void ShelfRowActions::activateSelection(bool commandHeld)
{
    const auto row = m_state.selectedRow();
    if (!row) return;
    switch (row->kind) {
        case ShelfRow::Kind::note:
            m_hooks.openNote(row->id);
            break;
        case ShelfRow::Kind::capture:
            if (commandHeld) {
                if (Capture* capture = m_store.capture(row->id); capture && capture->noteUUID()) {
                    m_hooks.openNote(*capture->noteUUID());
                    return;
                }
            }
            m_hooks.peekCapture(row->id);
            break;
        case ShelfRow::Kind::binNote:
            if (Note* note = m_store.note(row->id); note && note->isTrashed()) restore(*note);
            break;
    }
}

void ShelfRowActions::pinSelected()
{
    auto row = m_state.selectedRow();
    if (!row) {
        const QList<ShelfRow> rows = m_state.rows();
        if (rows.isEmpty()) return;
        row = rows.first();
    }
    if (row->kind != ShelfRow::Kind::note) return;
    if (Note* note = m_store.note(row->id)) togglePin(*note);
}

void ShelfRowActions::newNote()
{
    auto note = std::make_unique<Note>(QString(), QString(), Tint::blue, Opacity::solid, std::nullopt, std::nullopt);
    const QString themeID = NoteThemes::defaultThemeID(m_settings);
    if (!themeID.isEmpty()) {
        note->setThemeID(themeID);
        if (const auto tint = Tint::fromRawValue(themeID)) note->setTint(*tint);
    }
    Note* made = note.release();
    m_store.context().insert(made);
    m_store.saveNow();
    m_store.setActiveNoteID(made->uuid());
    m_hooks.openNote(made->uuid());
}

QList<ShelfRowActions::Command> ShelfRowActions::commands(const ShelfRow& row)
{
    QList<Command> list;
    switch (row.kind) {
        case ShelfRow::Kind::note: {
            Note* note = m_store.note(row.id);
            if (!note || note->isTrashed()) return {};
            const bool pinned = note->isPinned();
            list.append({QStringLiteral("Open"), {}, {}, false, true, true, [this, note] { openNote(*note); }});
            list.append({pinned ? QStringLiteral("Unpin") : QStringLiteral("Pin"),
                         pinned ? QStringLiteral("pin.slash") : QStringLiteral("pin"),
                         pinned ? QStringLiteral("Unpin") : QStringLiteral("Pin"), false, true, true,
                         [this, note] { togglePin(*note); }});
            list.append({QStringLiteral("Roll up"), {}, {}, false, true, true, [this, note] { rollUp(*note); }});
            list.append({QStringLiteral("Delete"), QStringLiteral("trash"), QStringLiteral("Delete note"), true, true,
                         true, [this, note] { deleteNote(*note); }});
            break;
        }
        case ShelfRow::Kind::capture: {
            Capture* capture = m_store.capture(row.id);
            if (!capture) return {};
            const bool pinned = capture->isPinned();
            const QUuid id = row.id;
            list.append(
                {QStringLiteral("Peek"), {}, {}, false, true, true, [this, capture] { peekCapture(*capture); }});
            list.append({pinned ? QStringLiteral("Unpin") : QStringLiteral("Pin"),
                         pinned ? QStringLiteral("pin.slash") : QStringLiteral("pin"),
                         pinned ? QStringLiteral("Unpin") : QStringLiteral("Pin"), false, true, true,
                         [this, capture] { togglePin(*capture); }});
            if (capture->noteUUID())
                list.append({QStringLiteral("Open in note"), {}, {}, false, true, true, [this, capture] {
                                 openCaptureNote(*capture);
                             }});
            list.append({QStringLiteral("Copy"), {}, {}, false, true, true, [this, capture] { copy(*capture); }});
            list.append({QStringLiteral("Delete"), QStringLiteral("trash"), QStringLiteral("Delete capture"), true,
                         true, true, [this, id] { deleteCapture(id); }});
            break;
        }
        case ShelfRow::Kind::binNote: {
            Note* note = m_store.note(row.id);
            if (!note || !note->isTrashed()) return {};
            list.append({QStringLiteral("Restore"), QStringLiteral("arrow.uturn.backward"),
                         QStringLiteral("Restore note"), false, true, false, [this, note] { restore(*note); }});
            list.append({QStringLiteral("Delete forever"), QStringLiteral("trash.slash"),
                         QStringLiteral("Delete forever"), true, true, false, [this, note] { purge(*note); }});
            break;
        }
    }
    return list;
}
