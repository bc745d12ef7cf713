#pragma once

#include <functional>

class Authenticator;
class Clock;
class FloatingNotesManager;
class HotkeyManager;
class MCPService;
class NoteStore;
class NotificationCenter;
class Settings;
class UnlockSession;
class UpdateChecker;
struct ResolvedNoteTheme;

// What the settings pages read and drive, handed in by the application's services.
struct SettingsServices {
    Settings& settings;
    NoteStore& store;
    MCPService& mcp;
    UnlockSession& unlockSession;
    Authenticator& authenticator;
    NotificationCenter& center;
    Clock& clock;
    // Installed after launch; null where the display offers no global keys.
    std::function<HotkeyManager*()> hotkeys;
    // Null when the build has no update check: the General tab then has no Updates section.
    UpdateChecker* updateChecker = nullptr;
};

// The theme window's two entries, given once it exists: editing a theme and starting a new one from
// a base. Until then the Note tab offers neither.
struct SettingsThemeActions {
    std::function<void(const QString& themeID)> edit;
    std::function<void(const ResolvedNoteTheme& base)> createFrom;
};
