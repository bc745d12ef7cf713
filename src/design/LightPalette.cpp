#include "design/LightPalette.h"

#include "design/TarnwickTheme.h"

QPalette LightPalette::make()
{
    QPalette light;
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        light.setColor(group, QPalette::Window, TarnwickTheme::surface());
        light.setColor(group, QPalette::Base, TarnwickTheme::surface());
        light.setColor(group, QPalette::AlternateBase, TarnwickTheme::canvas());
        light.setColor(group, QPalette::Button, TarnwickTheme::canvas());
        light.setColor(group, QPalette::Text, TarnwickTheme::textPrimary());
        light.setColor(group, QPalette::WindowText, TarnwickTheme::textPrimary());
        light.setColor(group, QPalette::ButtonText, TarnwickTheme::textPrimary());
        light.setColor(group, QPalette::PlaceholderText, TarnwickTheme::textTertiary());
        // Selected text and list items: the accent at a quarter, as the tour's practice field selects;
        // the wash alone (12 %) was too faint to see a selection by.
        QColor selection = TarnwickTheme::accent();
        selection.setAlphaF(0.25f);
        light.setColor(group, QPalette::Highlight, selection);
        light.setColor(group, QPalette::HighlightedText, TarnwickTheme::textPrimary());
        light.setColor(group, QPalette::ToolTipBase, TarnwickTheme::surfaceRaised());
        light.setColor(group, QPalette::ToolTipText, TarnwickTheme::textPrimary());
        light.setColor(group, QPalette::Link, TarnwickTheme::accentInk());
    }
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        light.setColor(QPalette::Disabled, role, TarnwickTheme::textTertiary());
    light.setColor(QPalette::Disabled, QPalette::Window, TarnwickTheme::surface());
    light.setColor(QPalette::Disabled, QPalette::Base, TarnwickTheme::surface());
    light.setColor(QPalette::Disabled, QPalette::Button, TarnwickTheme::canvas());
    return light;
}
