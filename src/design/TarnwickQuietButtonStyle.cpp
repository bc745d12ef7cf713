#include "design/TarnwickQuietButtonStyle.h"

#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"

ButtonLook TarnwickQuietButtonStyle::makeBody(bool isPressed) const
{
    ButtonLook look;
    look.font = TarnwickType::system(14, QFont::Medium);
    look.foreground = TarnwickTheme::textSecondary();
    look.background = isPressed ? TarnwickTheme::fill() : QColor(Qt::transparent);
    look.height = 38;
    look.horizontalPadding = 16;
    look.cornerRadius = 11;
    look.fullWidth = fullWidth;
    return look;
}
