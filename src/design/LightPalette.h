#pragma once

#include <QPalette>

// The light scheme our own surfaces always draw in, whatever the desktop's scheme: the tokens are
// chosen for a light surface, so a dark system palette would leave dark text on dark ground.
struct LightPalette {
    static QPalette make();
};
