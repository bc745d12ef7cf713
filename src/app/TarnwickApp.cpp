#include "app/TarnwickApp.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

#include "app/AppServices.h"
#include "app/ReminderScheduler.h"
#include "app/SingleInstance.h"
#include "capture/HotkeyManager.h"
#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "mcp/MCPApprovalCardPresenter.h"
#include "mcp/MCPApprovalController.h"
#include "mcp/MCPService.h"
#include "note/NoteNotifications.h"
#include "note/NoteView.h"
#include "platform/Clock.h"
#include "platform/GlobalHotkeys.h"
#include "platform/Log.h"
#include "platform/Settings.h"
#include "store/NoteStore.h"
#include "windows/FloatingNoteWindowController.h"
#include "windows/FloatingNotesManager.h"

TarnwickApp::TarnwickApp(SingleInstance& instance, AppServices& services, QObject* parent) : QObject(parent)
{
    m_menu = std::make_unique<QMenu>();
    QAction* quit = m_menu->addAction(QStringLiteral("Quit Tarnwick"));
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);

    m_tray = new QSystemTrayIcon(this);
    // The glyph is a monochrome mask; a warm mid grey reads on both light and dark panels.
    m_tray->setIcon(Symbols::tinted(QStringLiteral("MenubarGlyph"), TarnwickTheme::textTertiary(), 22));
    m_tray->setToolTip(QStringLiteral("Tarnwick"));
    m_tray->setContextMenu(m_menu.get());
    // Without a tray on the desktop, the icon appears when one starts; the application runs either way.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) qCInfo(Log::app, "No system tray is available yet");
    m_tray->show();

    // Placeholder until the launch sequence lands: a second launch is only logged by SingleInstance;
    // the shell's reopen handling will connect to activationRequested here.
    Q_UNUSED(instance);

    wireNoteWindows(services);
    startLocalEndpoint(services);
}

void TarnwickApp::wireNoteWindows(AppServices& services)
{
    FloatingNotesManager& floating = services.floating();
    NoteStore& store = services.noteStore();
    floating.setWindowFactory([&store, &services](Note& note) -> std::unique_ptr<NoteWindow> {
        return std::make_unique<FloatingNoteWindowController>(note, store, Settings::shared(), Clock::system(),
                                                              NoteView::cardFactory(services));
    });

    // The object of each is the note's UUID; anything else is not ours to act on.
    auto observeNote = [this](const QString& name, std::function<void(const QUuid&, const QVariantMap&)> act) {
        m_noteObservers.push_back(NotificationCenter::shared().observe(
            name,
            [act](const Notification& n) {
                const QUuid id = QUuid::fromString(n.object);
                if (!id.isNull()) act(id, n.userInfo);
            },
            QString(), this));
    };
    observeNote(tarnwickDidCreateNote, [&floating](const QUuid& id, const QVariantMap&) { floating.show(id); });
    observeNote(tarnwickDidDeleteNote,
                [&floating](const QUuid& id, const QVariantMap&) { floating.noteWasDeleted(id); });
    observeNote(tarnwickDismissNote, [&floating](const QUuid& id, const QVariantMap&) { floating.closePanel(id); });
    observeNote(tarnwickOpacityChanged, [&floating](const QUuid& id, const QVariantMap& info) {
        const QVariant value = info.value(QStringLiteral("value"));
        if (value.typeId() != QMetaType::Double) return;
        if (NoteWindow* window = floating.controller(id)) window->applyOpacity(value.toDouble());
    });

    connect(&services.reminders(), &ReminderScheduler::openNoteRequested, this,
            [&floating](const QUuid& id) { floating.show(id); });

    // Only the keys whose actions exist here are grabbed; capture and the shelf join with their handlers.
    m_globalHotkeys = GlobalHotkeys::forCurrentPlatform();
    m_hotkeys = std::make_unique<HotkeyManager>(
        *m_globalHotkeys, Settings::shared(),
        QList<HotkeyManager::Action>{HotkeyManager::Action::newNote, HotkeyManager::Action::hideAll});
    m_hotkeys->onAction = [&floating, &store](HotkeyManager::Action action) {
        if (action == HotkeyManager::Action::newNote) {
            NotificationCenter::shared().post(tarnwickHotkeyFired, QStringLiteral("newNote"));
            Note* note = FloatingNotesManager::insertBlankNote(store, Settings::shared());
            store.setActiveNoteID(note->uuid());
            floating.show(note->uuid());
        } else if (action == HotkeyManager::Action::hideAll) {
            NotificationCenter::shared().post(tarnwickHotkeyFired, QStringLiteral("hideAll"));
            if (floating.isHidden())
                floating.restoreAll();
            else
                floating.hideAll();
        }
    };
}

// The endpoint's approval card is a window, so the shell gives it to the controller; the listener then
// starts when the user has switched the endpoint on.
void TarnwickApp::startLocalEndpoint(AppServices& services)
{
    services.mcpApproval().setPresenter(std::make_unique<MCPApprovalCardPresenter>());
    if (services.mcpService().enabled()) services.mcpService().start();
}

TarnwickApp::~TarnwickApp() = default;
