#pragma once

#include <QList>
#include <QString>
#include <QUuid>
#include <functional>

#include "shelf/ShelfRow.h"

class Capture;
class Note;
class NoteStore;
class ShelfSearchState;

// What the shelf's rows, keys and footer do to the stored notes and captures. Every change is saved at
// once; opening a note and peeking a capture go through hooks (the note windows and the capture peek),
// and nothing here closes the shelf: the window that takes the focus does that.
class ShelfRowActions {
public:
    struct Hooks {
        std::function<void(const QUuid&)> openNote;
        std::function<void(const QUuid&)> peekCapture;
        // Puts plain text on the clipboard; the system clipboard by default.
        std::function<void(const QString&)> copyText;
    };

    // One command as a menu, an actions-row chip or a hover icon offers it.
    struct Command {
        QString title;  // menu entry and chip
        QString icon;   // hover icon symbol; empty when not offered on hover
        QString help;   // hover icon tooltip and accessible name
        bool destructive = false;
        bool inMenu = true;
        bool inChips = true;
        std::function<void()> run;
    };

    ShelfRowActions(NoteStore& store, ShelfSearchState& state, Hooks hooks);

    // ---- Note rows ----
    void openNote(const Note& note);
    void togglePin(Note& note);
    // Opens the window first so there is one to roll.
    void rollUp(const Note& note);
    void deleteNote(Note& note);

    // ---- Capture rows ----
    void peekCapture(const Capture& capture);
    void togglePin(Capture& capture);
    void openCaptureNote(const Capture& capture);
    void copy(const Capture& capture);
    // Looks the capture up again: one deleted meanwhile is skipped, and nothing is saved.
    void deleteCapture(const QUuid& captureID);

    // ---- Bin rows ----
    void restore(Note& note);
    void purge(Note& note);
    void emptyBin();

    // ---- Keys and footer ----
    // Return: open the selected row, or select the first one. A bin row is restored.
    void commit();
    // Ctrl+Return: like Return on a selected row, except that a capture filed into a note opens the note.
    void activateSelection(bool commandHeld);
    // Ctrl+P: pins the selected (or else the first) row when it is a note.
    void pinSelected();
    // "New note": an empty note with the default theme, saved, active and opened.
    void newNote();

    // The commands of a row in their order, for its menu, chips and hover icons. Empty for a row whose
    // object is gone.
    QList<Command> commands(const ShelfRow& row);
    // The same for an object already at hand (a drawn row), without looking it up.
    QList<Command> noteCommands(Note& note);
    QList<Command> captureCommands(Capture& capture);
    QList<Command> binCommands(Note& note);

private:
    NoteStore& m_store;
    ShelfSearchState& m_state;
    Hooks m_hooks;
};
