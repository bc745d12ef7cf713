#pragma once

#include "design/ButtonLook.h"

// The secondary, borderless button: text only, a fill while pressed.
struct TarnwickQuietButtonStyle {
    bool fullWidth = false;

    // No disabled look of its own.
    ButtonLook makeBody(bool isPressed) const;
};
