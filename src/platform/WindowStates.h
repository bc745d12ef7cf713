#pragma once

class QWindow;
class Settings;

// Whether our windows show in the taskbar and pager, the same way for every window maker (through
// EwmhWindowState, so the window's other states are kept). Nothing happens off X11.
namespace WindowStates {
// Keeps the window out of the taskbar and the pager, or lets it show there.
void setSkipTaskbar(QWindow* window, bool skip);
// For windows a user works in (notes, settings, themes): in the taskbar only while
// "general.showDockIcon" is on. The window is remembered, so a change of the setting reaches it.
void applyTaskbarPresence(QWindow* window, const Settings& settings);
// Applies the setting again to every window given applyTaskbarPresence().
void reapplyTaskbarPresence(const Settings& settings);
bool showsInTaskbar(const Settings& settings);
}  // namespace WindowStates
