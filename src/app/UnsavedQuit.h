#pragma once

#include <QString>

#include "platform/FocusReturn.h"

// Asked when the user quits while the disk refuses the latest changes: they would be lost with the
// process, so quitting waits for the user's word.
class UnsavedQuit {
public:
    UnsavedQuit() = delete;

    enum class Choice {
        saveAgain,    // "Save Again": try once more (after freeing some space, say)
        quitAnyway,   // "Quit Anyway": the changes are lost
        keepRunning,  // Escape or closing the question: Tarnwick stays, and keeps trying to save
    };

    // What a quit now would lose.
    enum class Loss {
        latestChanges,  // what changed since the last save that got through
        everyNote,      // the notes file is gone and could not be written back
    };

    // What is not saved, the question's first line.
    static QString headline(Loss loss);
    // Why it is not saved, what helps, and what a quit now loses, for the question.
    static QString explanation(const QString& failure, Loss loss = Loss::latestChanges);
    // Shows the question modally, with why the save failed (as plain text). Answered with Escape or
    // Cancel, it gives the keyboard back to `giveBack` (the window the user was typing in), which the
    // window manager would otherwise leave with nothing.
    static Choice ask(const QString& failure, Loss loss, FocusReturn giveBack = {});
};
