#pragma once

// Where the keyboard goes back while the tour is open. The tour asks for keys that open windows of ours
// which take the keyboard (a new note, the shelf, notes restored by the hide-all key); when such a
// window goes (Ctrl+W, Escape, the hide-all key) the window manager may give the keyboard to nothing
// (openbox does), and a user without a mouse would be stuck. So a window of ours that goes away while it
// holds the keyboard hands it back to the tour. A window that hands the keyboard back to a window of its
// own (a note's dialog or popup) is left to do so, and a window that goes while another application has
// the keyboard takes nothing from that application.
//
// Windows are told apart by identity only; the caller reports every move of the keyboard between our
// windows and every window of ours that goes away.
class TourKeyboard {
public:
    explicit TourKeyboard(const void* tour) : m_tour(tour) {}

    // The keyboard went to `window`, one of ours (null: to another application, or to nothing).
    // `handsBack`: the window gives the keyboard back to a window of its own when it goes.
    void keyboardMoved(const void* window, bool handsBack = false);
    // `window` was hidden or closed. True when the tour takes the keyboard now.
    bool windowGone(const void* window);

    const void* holder() const { return m_holder; }

private:
    const void* m_tour;
    const void* m_holder = nullptr;
    bool m_holderHandsBack = false;
};
