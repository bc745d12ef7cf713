#pragma once

#include "design/ButtonLook.h"

// The filled accent button of panels and onboarding (a full-width 50-point button with radius 14 in
// the permission panel, 42 points with radius 11 in onboarding).
struct TarnwickPrimaryButtonStyle {
    bool isEnabled = true;  // taken from the button
    bool fullWidth = false;
    qreal height = 50;
    qreal radius = 14;

    ButtonLook makeBody(bool isPressed) const;
};
