#include "design/TarnwickPrimaryButtonStyle.h"

#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"

ButtonLook TarnwickPrimaryButtonStyle::makeBody(bool isPressed) const
{
    ButtonLook look;
    look.font = TarnwickType::system(height >= 50 ? 15 : 14, QFont::DemiBold);
    look.foreground = isEnabled ? QColor(Qt::white) : TarnwickTheme::textTertiary();
    if (isEnabled) {
        look.background = TarnwickTheme::accent();
    } else {
        look.background = TarnwickTheme::textPrimary();
        look.background.setAlphaF(0.08f);
    }
    look.height = height;
    look.horizontalPadding = fullWidth ? 16 : 26;
    look.cornerRadius = radius;
    look.fullWidth = fullWidth;
    // A disabled button still answers a press visually.
    look.opacity = isPressed ? 0.86 : 1.0;
    look.scale = isPressed ? 0.97 : 1.0;
    return look;
}
