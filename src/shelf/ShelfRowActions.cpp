#include "shelf/ShelfRowActions.h"

#include <QClipboard>
#include <QGuiApplication>
#include <memory>

#include "model/Capture.h"
#include "model/Note.h"
#include "model/NoteNotifications.h"
#include "note/NoteDeletion.h"
#include "platform/ModelContext.h"
#include "platform/NotificationCenter.h"
#include "shelf/ShelfSearchState.h"
#include "store/NoteStore.h"

ShelfRowActions::ShelfRowActions(NoteStore& store, ShelfSearchState& state, Hooks hooks)
    : m_store(store), m_state(state), m_hooks(std::move(hooks))
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
    m_store.notifications().post(tarnwickToggleRollUp, id.toString(QUuid::WithoutBraces).toUpper());
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
    const auto row = m_state.listedSelection();
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
    auto row = m_state.listedSelection();
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
    const Note* made = m_store.createNote().note;
    m_hooks.openNote(made->uuid());
}

QList<ShelfRowActions::Command> ShelfRowActions::commands(const ShelfRow& row)
{
    switch (row.kind) {
        case ShelfRow::Kind::note:
            if (Note* note = m_store.note(row.id); note && !note->isTrashed()) return noteCommands(*note);
            return {};
        case ShelfRow::Kind::capture:
            if (Capture* capture = m_store.capture(row.id)) return captureCommands(*capture);
            return {};
        case ShelfRow::Kind::binNote:
            if (Note* note = m_store.note(row.id); note && note->isTrashed()) return binCommands(*note);
            return {};
    }
    return {};
}

QList<ShelfRowActions::Command> ShelfRowActions::noteCommands(Note& note)
{
    Note* n = &note;
    const bool pinned = note.isPinned();
    const QString pin = pinned ? QStringLiteral("Unpin") : QStringLiteral("Pin");
    return {
        {QStringLiteral("Open"), {}, {}, false, true, true, [this, n] { openNote(*n); }},
        {pin, pinned ? QStringLiteral("pin.slash") : QStringLiteral("pin"), pin, false, true, true,
         [this, n] { togglePin(*n); }},
        {QStringLiteral("Roll up"), {}, {}, false, true, true, [this, n] { rollUp(*n); }},
        {QStringLiteral("Delete"), QStringLiteral("trash"), QStringLiteral("Delete note"), true, true, true,
         [this, n] { deleteNote(*n); }},
    };
}

QList<ShelfRowActions::Command> ShelfRowActions::captureCommands(Capture& capture)
{
    Capture* c = &capture;
    const QUuid id = capture.uuid();
    const bool pinned = capture.isPinned();
    const QString pin = pinned ? QStringLiteral("Unpin") : QStringLiteral("Pin");
    QList<Command> list{
        {QStringLiteral("Peek"), {}, {}, false, true, true, [this, c] { peekCapture(*c); }},
        {pin, pinned ? QStringLiteral("pin.slash") : QStringLiteral("pin"), pin, false, true, true,
         [this, c] { togglePin(*c); }},
    };
    if (capture.noteUUID())
        list.append({QStringLiteral("Open in note"), {}, {}, false, true, true, [this, c] { openCaptureNote(*c); }});
    list.append({QStringLiteral("Copy"), {}, {}, false, true, true, [this, c] { copy(*c); }});
    list.append({QStringLiteral("Delete"), QStringLiteral("trash"), QStringLiteral("Delete capture"), true, true, true,
                 [this, id] { deleteCapture(id); }});
    return list;
}

QList<ShelfRowActions::Command> ShelfRowActions::binCommands(Note& note)
{
    Note* n = &note;
    return {
        {QStringLiteral("Restore"), QStringLiteral("arrow.uturn.backward"), QStringLiteral("Restore note"), false, true,
         false, [this, n] { restore(*n); }},
        {QStringLiteral("Delete forever"), QStringLiteral("trash.slash"), QStringLiteral("Delete forever"), true, true,
         false, [this, n] { purge(*n); }},
    };
}
