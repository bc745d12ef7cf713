#pragma once

#include <QPointer>
#include <functional>
#include <memory>

#include "app/AppDelegate.h"
#include "app/CaptureActions.h"
#include "capture/CapturePeekController.h"
#include "capture/HotkeyManager.h"
#include "windows/DeckRootView.h"
#include "windows/FloatingNotesManager.h"

class CaptureCapsuleController;
class CaptureService;
class Clock;
class DesktopNotifications;
class GlobalHotkeys;
class MCPApprovalController;
class MCPNoteToolHost;
class MCPService;
class MCPTokenStore;
class ModelContainer;
class NoteStore;
class NotificationCenter;
class PamAuthenticator;
class PreviewFiles;
class QNetworkAccessManager;
class ReminderScheduler;
class SearchEngine;
class SelectionReader;
class Settings;
class SettingsWindowController;
class ShelfController;
class ShelfWindowHost;
class SpellChecker;
class ThemeWindowController;
class UnlockSession;
class UpdateChecker;

// The services of the running application, made once at launch and kept for the life of the process,
// in the order they depend on each other: the store (opened, or in memory when the file cannot be
// used), the note windows, the capture service, the search engine, the unlock session of private notes (the account
// password, asked in our own dialog), the local MCP endpoint with its approval controller, the reminder scheduler and
// the update checker. Once everything exists, the store's start-up housekeeping runs; the daily update check is made
// once the event loop runs. The remaining services join here in their slots, between the store and the housekeeping.
// The global hot keys join with their dispatcher: grabbing a chord that does nothing would only take it from other
// applications.
class AppServices {
public:
    // Over the process's store (opened on first use, or in memory when the file cannot be used).
    AppServices();
    explicit AppServices(ModelContainer& container);
    ~AppServices();
    AppServices(const AppServices&) = delete;
    AppServices& operator=(const AppServices&) = delete;

    NoteStore& noteStore() const { return *m_noteStore; }
    // The files the picture preview shows; leftovers of an earlier run are deleted at launch, the rest at quit.
    PreviewFiles& previewFiles() const { return *m_previews; }
    FloatingNotesManager& floating() const { return *m_floating; }
    CaptureService& capture() const { return *m_capture; }
    CaptureCapsuleController& capsule() const { return *m_capsule; }
    SearchEngine& searchEngine() const { return *m_search; }
    CapturePeekController& peek() const { return *m_peek; }
    // The hot-key dispatch, the capture presentation and the bus road of captures.
    CaptureActions& captureActions() const { return *m_captureActions; }
    ShelfController& shelf() const { return *m_shelf; }
    UnlockSession& unlockSession() const { return *m_unlockSession; }
    // The one settings window (built at its first showing).
    SettingsWindowController& settingsWindow() const { return *m_settingsWindow; }
    // The one theme window, where themes are made and edited.
    ThemeWindowController& themeWindow() const { return *m_themeWindow; }
    MCPService& mcpService() const { return *m_mcp; }
    ReminderScheduler& reminders() const { return *m_reminders; }
    UpdateChecker& updateChecker() const { return *m_updateChecker; }

    // What the launch sequence works with: these services, the bus name and the tray.
    AppDelegate::Parts delegateParts(SingleInstance& bus, TarnwickApp& tray);

    // Grabs the global hot keys of the given actions and hands each press to `onAction`, both in this
    // one call, so no chord is ever held without something to do. Made once, at launch; a later call
    // only replaces the action.
    HotkeyManager& installHotkeys(const QList<HotkeyManager::Action>& actions,
                                  std::function<void(HotkeyManager::Action, quint32 modifiers)> onAction);
    HotkeyManager* hotkeys() const { return m_hotkeys.get(); }
    // The keys of every action that works in this build, handed to the capture actions' dispatcher.
    void installActionHotkeys();

    // What the capture actions reach the note windows, the unlock session and the peek through; each
    // does nothing once its object is gone.
    static CaptureActions::Hooks captureHooks(QPointer<FloatingNotesManager> floating,
                                              QPointer<CapturePeekController> peek, QPointer<ShelfController> shelf,
                                              UnlockSession& unlockSession, const Settings& settings);
    // The bus's answer to a capture handed over by another program.
    static SingleInstance::CaptureReply serviceCaptureReply(const std::optional<CaptureService::Result>& result);

    // Whether a note's window is open and shown, asked of the window manager while it exists (false
    // once it is gone).
    static std::function<bool(const QUuid&)> isNoteOpenAnswer(QPointer<FloatingNotesManager> floating);
    // The note windows as the launch sequence drives them; each call does nothing once the manager
    // is gone.
    static AppDelegate::NoteWindows noteWindows(QPointer<FloatingNotesManager> floating);

    // The store's upkeep at launch, in this order: expired bin entries, notes left in the clear,
    // legacy bodies, duplicate rows, orphaned pictures. Each step saves for itself.
    // Without `sealLockedPlaintext` the second step is left out (it runs once the lock keys are read).
    static void runStartupHousekeeping(NoteStore& store, const Clock& clock, bool sealLockedPlaintext = true);

private:
    // The cards of the note windows: a note view over these services, its body the block editor.
    DeckRootView::CardFactory noteCardFactory();

    // The process-wide services every other one is handed: the user's settings, the system clock, the
    // in-process notifications and the desktop's spelling.
    Settings& m_settings;
    Clock& m_clock;
    NotificationCenter& m_center;
    SpellChecker& m_spelling;
    // Destroyed in reverse order: the endpoint goes before the store it reads.
    std::unique_ptr<NoteStore> m_noteStore;
    std::unique_ptr<PreviewFiles> m_previews;  // outlives the note windows that show previews
    std::unique_ptr<FloatingNotesManager> m_floating;
    std::unique_ptr<SelectionReader> m_selectionReader;  // outlives the capture service that reads it
    std::unique_ptr<CaptureService> m_capture;
    std::unique_ptr<GlobalHotkeys> m_globalHotkeys;
    std::unique_ptr<HotkeyManager> m_hotkeys;
    std::unique_ptr<CaptureCapsuleController> m_capsule;
    std::unique_ptr<SearchEngine> m_search;
    std::unique_ptr<CapturePeekController> m_peek;
    std::unique_ptr<CaptureActions> m_captureActions;
    std::unique_ptr<ShelfController> m_shelf;
    std::unique_ptr<ShelfWindowHost> m_shelfWindows;
    std::unique_ptr<PamAuthenticator> m_authenticator;
    std::unique_ptr<UnlockSession> m_unlockSession;
    std::unique_ptr<ThemeWindowController> m_themeWindow;
    std::unique_ptr<MCPApprovalController> m_mcpApproval;
    std::unique_ptr<MCPTokenStore> m_mcpTokens;
    std::unique_ptr<MCPNoteToolHost> m_mcpTools;
    std::unique_ptr<MCPService> m_mcp;
    std::unique_ptr<DesktopNotifications> m_notifications;
    std::unique_ptr<ReminderScheduler> m_reminders;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<UpdateChecker> m_updateChecker;
    // Last, so it goes first: its pages hold on to the services above.
    std::unique_ptr<SettingsWindowController> m_settingsWindow;
};
