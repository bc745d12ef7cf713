// Where the keyboard goes while the tour is open: back to the tour when a window that held it goes, and
// nowhere when the keyboard was elsewhere or the window gives it back to a window of its own.
#include <gtest/gtest.h>

#include <QString>
#include <vector>

#include "onboarding/TourKeyboard.h"

namespace {

struct Step {
    enum Kind { moved, movedHandsBack, gone } kind;
    char window;             // 't' the tour, 'n' a note, 's' the shelf, 'd' a note's dialog, 0 another application
    bool takesBack = false;  // for `gone`: whether the tour takes the keyboard
};

struct Case {
    const char* name;
    std::vector<Step> steps;
};

const void* id(char window)
{
    static const char windows[] = "tnsd";
    for (const char& w : windows)
        if (w == window && w != 0) return &w;
    return nullptr;
}

}  // namespace

TEST(TourKeyboard, ReturnsTheKeyboardOnlyWhenTheWindowHoldingItGoes)
{
    using S = Step;
    const std::vector<Case> cases = {
        {"the new note closed with Ctrl+W", {{S::moved, 't'}, {S::moved, 'n'}, {S::gone, 'n', true}}},
        {"the note hidden by the hide-all key while it is typed in",
         {{S::moved, 'n'}, {S::gone, 'n', true}, {S::moved, 0}, {S::moved, 't'}}},
        {"the shelf closed with Escape", {{S::moved, 't'}, {S::moved, 's'}, {S::gone, 's', true}}},
        {"the note hidden while the tour has the keyboard", {{S::moved, 'n'}, {S::moved, 't'}, {S::gone, 'n', false}}},
        {"the note hidden while another application has the keyboard",
         {{S::moved, 'n'}, {S::moved, 0}, {S::gone, 'n', false}}},
        {"a note's dialog gives the keyboard back to its note, which later closes",
         {{S::moved, 'n'}, {S::movedHandsBack, 'd'}, {S::gone, 'd', false}, {S::moved, 'n'}, {S::gone, 'n', true}}},
        {"the shelf hides because a note it opened took the keyboard",
         {{S::moved, 's'}, {S::moved, 'n'}, {S::gone, 's', false}, {S::gone, 'n', true}}},
        {"one hide reported twice takes the keyboard once",
         {{S::moved, 'n'}, {S::gone, 'n', true}, {S::gone, 'n', false}}},
        {"the tour's own hide", {{S::moved, 't'}, {S::gone, 't', false}}},
        {"nothing reported yet", {{S::gone, 'n', false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TourKeyboard keyboard(id('t'));
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            if (step.kind == S::gone)
                EXPECT_EQ(keyboard.windowGone(id(step.window)), step.takesBack) << "step " << i;
            else
                keyboard.keyboardMoved(id(step.window), step.kind == S::movedHandsBack);
        }
    }
}
