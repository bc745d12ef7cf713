#include "design/KeyablePanel.h"

KeyablePanel::KeyablePanel(QWidget* parent, Qt::WindowFlags extraFlags)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | extraFlags)
{
    // Unlike a plain tool window, which may refuse focus, this one accepts it when shown.
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    setFocusPolicy(Qt::StrongFocus);
}

void KeyablePanel::showAndFocus()
{
    show();
    raise();
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
}
