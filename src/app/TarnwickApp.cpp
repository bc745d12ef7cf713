#include "app/TarnwickApp.h"

#include <QMetaMethod>

#include <QApplication>
#include <QMenu>

#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "design/TrayGlyph.h"
#include "platform/Log.h"
#include "platform/OwnWindows.h"

TarnwickApp::TarnwickApp(QObject* parent) : QObject(parent)
{
    m_menu = std::make_unique<QMenu>();
    m_menu->setWindowTitle(QStringLiteral("Tarnwick menu"));
    connect(m_menu.get(), &QMenu::aboutToShow, this, [this] {
        if (m_keyboardReturn) {
            m_menuOpenedFrom = m_keyboardReturn();
        } else {
            m_menuOpenedFrom = {};
            m_menuOpenedFrom.capture(QApplication::activeWindow());
        }
    });
    connect(m_menu->addAction(QStringLiteral("Open Shelf")), &QAction::triggered, this, [this] {
        if (!OwnWindows::bringQuestionForward()) Q_EMIT openShelfRequested();
    });
    connect(m_menu->addAction(QStringLiteral("Settings…")), &QAction::triggered, this, [this] {
        if (!OwnWindows::bringQuestionForward()) Q_EMIT openSettingsRequested();
    });
    m_menu->addSeparator();
    connect(m_menu->addAction(QStringLiteral("Quit Tarnwick")), &QAction::triggered, this, [this] {
        if (OwnWindows::bringQuestionForward()) return;
        // Without a shell listening (tests), the menu still quits.
        if (isSignalConnected(QMetaMethod::fromSignal(&TarnwickApp::quitRequested)))
            Q_EMIT quitRequested();
        else
            QCoreApplication::exit(0);
    });

    m_tray = new QSystemTrayIcon(this);
    m_tray->setIcon(TrayGlyph::icon());
    m_tray->setToolTip(QStringLiteral("Tarnwick"));
    m_tray->setContextMenu(m_menu.get());
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (isClick(reason) && !OwnWindows::bringQuestionForward()) Q_EMIT statusItemClicked();
    });
    // Without a tray on the desktop, the icon appears when one starts; the application runs either way.
    // Said even on a quiet launch: with no icon and no window, nothing else shows that Tarnwick runs.
    m_trayMissingAtLaunch = !QSystemTrayIcon::isSystemTrayAvailable();
    if (m_trayMissingAtLaunch) qCWarning(Log::app, "No system tray is available yet");
    m_tray->show();
}

TarnwickApp::~TarnwickApp() = default;

void TarnwickApp::setStatusItemLit(bool lit)
{
    if (lit == m_lit) return;
    m_lit = lit;
    m_tray->setIcon(TrayGlyph::icon(lit));
}
