#include "onboarding/TourKeyboard.h"

void TourKeyboard::keyboardMoved(const void* window, bool handsBack)
{
    m_holder = window;
    m_holderHandsBack = window && handsBack;
}

bool TourKeyboard::windowGone(const void* window)
{
    if (!window || window == m_tour || window != m_holder) return false;
    const bool takeBack = !m_holderHandsBack;
    // Until the window manager reports where the keyboard went, nothing of ours holds it.
    m_holder = nullptr;
    m_holderHandsBack = false;
    return takeBack;
}
