#include "design/TextColor.h"

#include <QPalette>
#include <QWidget>

void TextColor::set(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) palette.setColor(role, color);
    widget->setPalette(palette);
}
