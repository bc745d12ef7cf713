#include "settings/PreferenceTabsController.h"

#include <QButtonGroup>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "platform/Settings.h"
#include "settings/AboutSettingsTab.h"
#include "settings/ConnectionsSettingsTab.h"
#include "settings/GeneralSettingsTab.h"
#include "settings/HotkeysSettingsTab.h"
#include "settings/NoteSettingsTab.h"
#include "settings/PermissionsSettingsTab.h"
#include "settings/PrivacySettingsTab.h"
#include "settings/SettingsTabStrip.h"
#include "settings/SettingsWidgets.h"
#include "settings/SettingsWindowController.h"
#include "settings/SyncSettingsTab.h"

PreferenceTabsController::PreferenceTabsController(const SettingsServices& services, QWidget* parent)
    : QWidget(parent), m_services(services)
{
    setFixedWidth(SettingsWindowController::kWidth);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_stripRow = new SettingsTabStrip(this);
    m_stripRow->setAutoFillBackground(true);
    QPalette stripPalette = m_stripRow->palette();
    stripPalette.setColor(QPalette::Window, TarnwickTheme::canvas());
    m_stripRow->setPalette(stripPalette);
    auto* strip = new QHBoxLayout(m_stripRow);
    strip->setContentsMargins(8, 6, 8, 6);
    strip->setSpacing(0);
    strip->addStretch(1);
    m_strip = new QButtonGroup(this);
    m_strip->setExclusive(true);
    column->addWidget(m_stripRow);

    m_writeFailure = SettingsWidgets::label(
        QStringLiteral("Settings can't be saved to disk right now: changes last only until Tarnwick quits."), this,
        TarnwickType::caption(), TarnwickTheme::destructive());
    m_writeFailure->setWordWrap(true);
    m_writeFailure->setContentsMargins(24, 6, 24, 6);
    m_writeFailure->hide();
    column->addWidget(m_writeFailure);

    m_stack = new QStackedWidget(this);
    m_stack->setFixedSize(SettingsWindowController::kWidth, SettingsWindowController::kPageHeight);
    m_stack->setFocusPolicy(Qt::NoFocus);
    column->addWidget(m_stack);

    connect(m_stack, &QStackedWidget::currentChanged, this, &PreferenceTabsController::currentChanged);
    connect(&m_services.settings, &Settings::writeStateChanged, this, [this] { refreshWriteFailure(); });

    auto* next = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this);
    connect(next, &QShortcut::activated, this, [this] { step(1); });
    auto* back = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), this);
    connect(back, &QShortcut::activated, this, [this] { step(-1); });
    auto* backAlt = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), this);
    connect(backAlt, &QShortcut::activated, this, [this] { step(-1); });
}

void PreferenceTabsController::load()
{
    if (isLoaded()) return;
    for (AppSettingsTab tab : AppSettingsTab::allCases()) addTab(tab);
    static_cast<QHBoxLayout*>(m_stripRow->layout())->addStretch(1);
    spreadTabs();
    refreshWriteFailure();
}

void PreferenceTabsController::addTab(AppSettingsTab tab)
{
    SettingsPage* page = content(tab);
    m_pages << page;
    auto* button = new SettingsTabButton(m_stripRow);
    button->setText(tab.title());
    button->setIcon(Symbols::tinted(tab.symbolName(), TarnwickTheme::textSecondary(), 20));
    button->setIconSize(QSize(20, 20));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);  // Ctrl+Tab moves between tabs; Tab walks the page
    button->setFont(TarnwickType::system(10));
    button->setAccessibleName(tab.title());
    m_strip->addButton(button, tab.index());
    m_buttons << button;
    static_cast<QHBoxLayout*>(m_stripRow->layout())->addWidget(button);
    connect(button, &QToolButton::clicked, this, [this, tab] { select(tab); });
    // The first page added becomes current by itself; m_isRestoring keeps that from being stored.
    m_stack->addWidget(page);
}

void PreferenceTabsController::spreadTabs()
{
    // Each tab is its label's width plus an equal share of the strip's room, so every two neighbouring
    // labels stand the same distance apart (equal widths made the two longest labels touch).
    const QMargins margins = m_stripRow->layout()->contentsMargins();
    const int room = SettingsWindowController::kWidth - margins.left() - margins.right();
    QList<int> labels;
    int used = 0;
    for (QToolButton* button : m_buttons) {
        labels << QFontMetrics(button->font()).horizontalAdvance(button->text());
        used += labels.last();
    }
    const int count = int(m_buttons.size());
    const int spare = std::max(0, room - used);
    // The few pixels the shares leave go to the stretches at both ends.
    for (int i = 0; i < count; ++i)
        m_buttons[i]->setFixedWidth(std::max(labels[i] + spare / count, m_buttons[i]->iconSize().width()));
}

SettingsPage* PreferenceTabsController::content(AppSettingsTab tab)
{
    switch (tab) {
        case AppSettingsTab::general:
            return new GeneralSettingsTab(m_services);
        case AppSettingsTab::note:
            return new NoteSettingsTab(m_services);
        case AppSettingsTab::hotkeys:
            return new HotkeysSettingsTab(m_services);
        case AppSettingsTab::permissions:
            return new PermissionsSettingsTab(m_services);
        case AppSettingsTab::connections:
            return new ConnectionsSettingsTab(m_services);
        case AppSettingsTab::privacy:
            return new PrivacySettingsTab(m_services);
        case AppSettingsTab::sync:
            return new SyncSettingsTab(m_services);
        case AppSettingsTab::about:
            return new AboutSettingsTab(m_services);
    }
    return nullptr;
}

void PreferenceTabsController::select(AppSettingsTab tab)
{
    if (!isLoaded()) return;
    m_stack->setCurrentIndex(tab.index());
    m_buttons[tab.index()]->setChecked(true);
}

void PreferenceTabsController::step(int delta)
{
    if (!isLoaded()) return;
    const int count = int(m_pages.size());
    select(AppSettingsTab::allCases()[((m_stack->currentIndex() + delta) % count + count) % count]);
}

AppSettingsTab PreferenceTabsController::currentTab() const
{
    const int index = m_stack->currentIndex();
    return index < 0 ? AppSettingsTab(AppSettingsTab::general) : AppSettingsTab::allCases()[index];
}

SettingsPage* PreferenceTabsController::page(AppSettingsTab tab) const
{
    return isLoaded() ? m_pages[tab.index()] : nullptr;
}

QToolButton* PreferenceTabsController::tabButton(AppSettingsTab tab) const
{
    return isLoaded() ? m_buttons[tab.index()] : nullptr;
}

void PreferenceTabsController::selectStoredTab()
{
    if (!isLoaded()) return;
    if (const auto stored = AppSettingsTab::stored(m_services.settings)) select(*stored);
    m_buttons[m_stack->currentIndex()]->setChecked(true);
    m_isRestoring = false;
}

void PreferenceTabsController::currentChanged(int index)
{
    if (index >= 0 && index < m_buttons.size()) m_buttons[index]->setChecked(true);
    // Tab then starts at the new page's first control, not from one left on a hidden page.
    if (index >= 0 && index < m_buttons.size()) m_stack->setAccessibleName(m_buttons[index]->accessibleName());
    focusPage();
    if (m_isRestoring || index < 0 || index >= AppSettingsTab::allCases().size()) return;
    const QString raw = AppSettingsTab::allCases()[index].rawValue();
    if (m_services.settings.storedValue(QLatin1String(AppSettingsTab::kSelectedTabKey)) != QVariant(raw))
        m_services.settings.setValue(QLatin1String(AppSettingsTab::kSelectedTabKey), raw);
}

void PreferenceTabsController::letPagesShrink()
{
    m_stack->setMinimumHeight(0);
    m_stack->setMaximumHeight(QWIDGETSIZE_MAX);
}

void PreferenceTabsController::focusPage()
{
    QWidget* page = m_stack->currentWidget();
    if (!page) return;
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
        if (!page->isAncestorOf(w)) continue;
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(page)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    m_stack->setFocus(Qt::OtherFocusReason);
}

void PreferenceTabsController::refreshWriteFailure()
{
    m_writeFailure->setVisible(!m_services.settings.lastWriteSucceeded());
}

void PreferenceTabsController::windowActivationChanged(bool active)
{
    for (SettingsPage* page : std::as_const(m_pages)) page->windowActivationChanged(active);
}

void PreferenceTabsController::setThemeActions(const SettingsThemeActions& actions)
{
    if (auto* note = qobject_cast<NoteSettingsTab*>(page(AppSettingsTab::note))) note->setThemeActions(actions);
}
