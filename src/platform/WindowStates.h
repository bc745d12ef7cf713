#pragma once

class QWindow;
class Settings;

// The extended window-manager states of our windows (_NET_WM_STATE), set the same way for every window
// maker: on a window not shown yet the property is written before the window manager reads it; on a
// shown one the window manager is asked to change it. Nothing happens off X11.
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
