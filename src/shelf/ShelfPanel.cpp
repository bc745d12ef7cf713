#include "shelf/ShelfPanel.h"

#include "store/NoteStore.h"

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "design/ButtonRowKeys.h"
#include "design/FocusRingToolButton.h"
#include "design/LightPalette.h"
#include "design/Symbols.h"
#include "design/TarnRowDivider.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "platform/Settings.h"
#include "shelf/ShelfController.h"
#include "shelf/ShelfKeys.h"
#include "shelf/ShelfLensChip.h"
#include "shelf/ShelfListModel.h"
#include "shelf/ShelfListView.h"
#include "shelf/ShelfPlacement.h"
#include "shelf/ShelfRowDelegate.h"
#include "shelf/ShelfTexts.h"

namespace {

// Tinted symbols rendered once per process: the panel is built at every showing.
QIcon symbol(const QString& name, const QColor& color, int size)
{
    static QHash<QString, QIcon> cache;
    const QString key = name + u'|' + color.name(QColor::HexArgb) + u'|' + QString::number(size);
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.insert(key, Symbols::tinted(name, color, size));
    return *it;
}

QToolButton* iconButton(const QString& name, const QColor& color, int size, const QString& help, QWidget* parent,
                        bool footer = false)
{
    QToolButton* button = footer ? new FocusRingToolButton(parent) : new QToolButton(parent);
    button->setIcon(symbol(name, color, size));
    button->setIconSize(QSize(size, size));
    button->setFixedSize(22, 22);
    button->setAutoRaise(true);
    button->setFocusPolicy(footer ? Qt::TabFocus : Qt::NoFocus);
    button->setToolTip(help);
    button->setAccessibleName(help);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

// What the banner warns of while the notes file cannot be saved to, or another file took its place.
std::optional<QString> storeWarning(const NoteStore& store)
{
    if (const auto failure = store.saveFailure()) return NoteStore::saveFailureText(*failure);
    if (const auto kept = store.keptFile()) return NoteStore::keptFileText(*kept);
    return std::nullopt;
}

}  // namespace

ShelfPanel::ShelfPanel(ShelfController& controller, Options options, QWidget* parent)
    : KeyablePanel(parent, Qt::WindowStaysOnTopHint), m_controller(controller), m_options(std::move(options))
{
    setWindowTitle(QStringLiteral("Tarnwick shelf"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(ShelfPlacement::panelSize);
    setPalette(LightPalette::make());
    // One sheet for the whole panel: a sheet per widget would cost a style of its own each.
    setStyleSheet(
        QStringLiteral("QToolButton { border: none; background: transparent; }"
                       "QLineEdit { background: transparent; border: none; }"
                       "QListView { background: transparent; border: none; }"));

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Banner slot: the unsaved warning wins over the capture one.
    m_banner = new QWidget(this);
    auto* bannerRow = new QHBoxLayout(m_banner);
    bannerRow->setContentsMargins(14, 7, 14, 7);
    bannerRow->setSpacing(7);
    auto* bannerIcon = new QLabel(m_banner);
    bannerRow->addWidget(bannerIcon);
    m_bannerText = new QLabel(m_banner);
    m_bannerText->setTextFormat(Qt::PlainText);
    m_bannerText->setFont(TarnwickType::system(11.5, QFont::Medium));
    m_bannerText->setWordWrap(true);
    bannerRow->addWidget(m_bannerText, 1);
    m_banner->setAutoFillBackground(true);
    m_banner->setProperty("iconLabel", QVariant::fromValue<QObject*>(bannerIcon));
    m_banner->installEventFilter(this);
    column->addWidget(m_banner);

    // Search row.
    auto* searchRow = new QWidget(this);
    searchRow->setFixedHeight(44);
    auto* searchLayout = new QHBoxLayout(searchRow);
    searchLayout->setContentsMargins(14, 0, 14, 0);
    searchLayout->setSpacing(9);
    auto* magnifier = new QLabel(searchRow);
    magnifier->setPixmap(symbol(QStringLiteral("magnifyingglass"), TarnwickTheme::textSecondary(), 14).pixmap(14, 14));
    searchLayout->addWidget(magnifier);
    m_field = new QLineEdit(searchRow);
    m_field->setPlaceholderText(QStringLiteral("Search your notes and captures"));
    m_field->setAccessibleName(m_field->placeholderText());
    m_field->setFrame(false);
    m_field->setFont(TarnwickType::system(14));
    m_field->setText(m_controller.searchState().query());
    m_field->installEventFilter(this);
    searchLayout->addWidget(m_field, 1);
    m_clear = iconButton(QStringLiteral("xmark.circle.fill"), TarnwickTheme::textTertiary(), 12,
                         QStringLiteral("Leave search"), searchRow);
    m_clear->setAccessibleName(QStringLiteral("Clear search"));
    searchLayout->addWidget(m_clear);
    column->addWidget(searchRow);

    // Lens chips.
    m_chipsRow = new QWidget(this);
    auto* chipsLayout = new QHBoxLayout(m_chipsRow);
    chipsLayout->setContentsMargins(12, 0, 12, 8);
    chipsLayout->setSpacing(4);
    const struct {
        const char* title;
        ShelfSearchState::Lens lens;
        const char* icon;
    } chips[] = {{"Captures", ShelfSearchState::Lens::captures, nullptr},
                 {"Notes", ShelfSearchState::Lens::notes, nullptr},
                 {"Bin", ShelfSearchState::Lens::bin, "trash"}};
    for (const auto& chip : chips) {
        auto* button = new ShelfLensChip(QString::fromLatin1(chip.title),
                                         chip.icon ? QString::fromLatin1(chip.icon) : QString(), m_chipsRow);
        const ShelfSearchState::Lens lens = chip.lens;
        connect(button, &QAbstractButton::clicked, this, [this, lens] {
            ShelfSearchState& state = m_controller.searchState();
            state.setLens(lens);
            state.setSelectedRow(std::nullopt);
            state.setShowActions(false);
        });
        m_chips << button;
        chipsLayout->addWidget(button);
    }
    chipsLayout->addStretch(1);
    column->addWidget(m_chipsRow);
    column->addWidget(new TarnRowDivider(this));

    // The two surfaces.
    m_stack = new QStackedWidget(this);
    m_browse = new ShelfListView(m_controller.browseModel(), m_controller.actions(), m_controller.clock(), m_stack);
    m_search = new ShelfListView(m_controller.searchModel(), m_controller.actions(), m_controller.clock(), m_stack);
    m_browse->setAccessibleName(QStringLiteral("Shelf"));
    m_search->setAccessibleName(QStringLiteral("Search results"));
    m_stack->addWidget(m_browse);
    m_stack->addWidget(m_search);
    column->addWidget(m_stack, 1);
    column->addWidget(new TarnRowDivider(this));

    // Footer.
    auto* footer = new QWidget(this);
    footer->setFixedHeight(38);
    auto* footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(14, 0, 14, 0);
    footerLayout->setSpacing(14);
    auto* newNote = new FocusRingToolButton(footer);
    newNote->setText(QStringLiteral("New note"));
    newNote->setIcon(symbol(QStringLiteral("plus"), TarnwickTheme::textPrimary(), 12));
    newNote->setIconSize(QSize(12, 12));
    newNote->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    newNote->setFont(TarnwickType::system(12, QFont::Medium));
    newNote->setFocusPolicy(Qt::TabFocus);
    newNote->setAutoRaise(true);
    // Room for the focus ring around the label.
    newNote->setMinimumHeight(26);
    newNote->setCursor(Qt::PointingHandCursor);
    connect(newNote, &QToolButton::clicked, this, [this] { m_controller.actions().newNote(); });
    footerLayout->addWidget(newNote);
    footerLayout->addStretch(1);
    if (m_options.showSettings) {
        auto* gear = iconButton(QStringLiteral("gearshape"), TarnwickTheme::textSecondary(), 12,
                                QStringLiteral("Settings"), footer, true);
        connect(gear, &QToolButton::clicked, this, [this] { m_options.showSettings(); });
        footerLayout->addWidget(gear);
        m_footer << gear;
    }
    auto* quit = iconButton(QStringLiteral("power"), TarnwickTheme::textSecondary(), 12,
                            QStringLiteral("Quit Tarnwick"), footer, true);
    connect(quit, &QToolButton::clicked, this, [this] {
        if (m_options.quit)
            m_options.quit();
        else
            QCoreApplication::exit(0);
    });
    footerLayout->addWidget(quit);
    m_footer.prepend(newNote);
    m_footer << quit;
    for (QToolButton* button : std::as_const(m_footer)) button->installEventFilter(this);
    column->addWidget(footer);

    // Input flows into the state; the state and the lists flow back here.
    ShelfSearchState& state = m_controller.searchState();
    connect(m_field, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_controller.searchState().setQuery(text); });
    connect(m_clear, &QToolButton::clicked, this, [this] { m_controller.searchState().exitSearch(); });
    connect(&state, &ShelfSearchState::queryChanged, this, [this](const QString& q) {
        if (m_field->text() != q) m_field->setText(q);
    });
    connect(&state, &ShelfSearchState::surfaceChanged, this, &ShelfPanel::updateSurface);
    connect(&state, &ShelfSearchState::lensChanged, this, &ShelfPanel::updateChips);
    connect(&state, &ShelfSearchState::lensChanged, this, &ShelfPanel::announceLens);
    connect(&state, &ShelfSearchState::selectedRowChanged, this, [this] {
        currentView()->scrollToSelection();
        announceSelection();
    });
    connect(&state, &ShelfSearchState::showActionsChanged, this, &ShelfPanel::announceSelection);
    connect(&state, &ShelfSearchState::actionIndexChanged, this, &ShelfPanel::announceSelection);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
        if (s == Qt::ApplicationActive) updateBanner();
    });
    connect(&m_controller.store(), &NoteStore::saveFailureChanged, this, &ShelfPanel::updateBanner);
    connect(&m_controller.store(), &NoteStore::keptFileChanged, this, &ShelfPanel::updateBanner);
    updateSurface();
    updateChips();
    updateBanner();
    // The field is the panel's only focus: a click anywhere on the panel leaves the keyboard there.
    setFocusProxy(m_field);
    m_field->setFocus(Qt::OtherFocusReason);
}

ShelfListView* ShelfPanel::currentView() const
{
    return m_controller.searchState().surface() == ShelfSearchState::Surface::search ? m_search : m_browse;
}

void ShelfPanel::updateSurface()
{
    const bool searching = m_controller.searchState().surface() == ShelfSearchState::Surface::search;
    m_stack->setCurrentWidget(searching ? m_search : m_browse);
    m_clear->setVisible(searching);
    m_chipsRow->setVisible(!searching);
}

void ShelfPanel::updateChips()
{
    const auto lenses = {ShelfSearchState::Lens::captures, ShelfSearchState::Lens::notes, ShelfSearchState::Lens::bin};
    int i = 0;
    for (const auto lens : lenses) {
        m_chips[i++]->setSelected(m_controller.searchState().lens() == lens);
    }
}

void ShelfPanel::updateBanner()
{
    const bool broken = m_options.captureBroken && m_options.captureBroken();
    auto* icon = qobject_cast<QLabel*>(m_banner->property("iconLabel").value<QObject*>());
    QColor colour;
    const std::optional<QString> warning = storeWarning(m_controller.store());
    if (m_options.storeFailed) {
        colour = TarnwickTheme::destructive();
        m_bannerText->setText(QStringLiteral("Notes aren\u2019t being saved. Quit and reopen Tarnwick."));
        m_banner->setAccessibleName(QStringLiteral("Warning: notes are not being saved. Quit and reopen Tarnwick."));
        m_banner->setCursor(Qt::ArrowCursor);
    } else if (warning) {
        colour = TarnwickTheme::destructive();
        m_bannerText->setText(*warning);
        m_banner->setAccessibleName(QStringLiteral("Warning: ") + *warning);
        m_banner->setCursor(Qt::ArrowCursor);
    } else if (broken) {
        colour = TarnwickTheme::offline();
        m_bannerText->setText(ShelfTexts::captureBanner(m_controller.settings()));
        m_banner->setAccessibleName(QStringLiteral("Capture cannot read your selection. Open Permissions to fix it."));
        m_banner->setCursor(m_options.showSettings ? Qt::PointingHandCursor : Qt::ArrowCursor);
    } else {
        m_banner->hide();
        return;
    }
    icon->setPixmap(symbol(QStringLiteral("exclamationmark.triangle.fill"), colour, 11).pixmap(11, 11));
    QPalette palette = m_banner->palette();
    QColor wash = colour;
    wash.setAlphaF(0.12);
    palette.setColor(QPalette::Window, wash);
    palette.setColor(QPalette::WindowText, colour);
    m_banner->setPalette(palette);
    m_bannerText->setPalette(palette);
    m_banner->show();
}

void ShelfPanel::detach()
{
    m_detached = true;
    disconnect(&m_controller.searchState(), nullptr, this, nullptr);
    disconnect(qApp, nullptr, this, nullptr);
}

bool ShelfPanel::handleKey(int key, Qt::KeyboardModifiers modifiers)
{
    if (m_detached) return false;
    ShelfSearchState& state = m_controller.searchState();
    switch (ShelfKeys::route(key, modifiers, state.actionsRowShown())) {
        case ShelfKeys::Command::none:
            return false;
        case ShelfKeys::Command::toFooter:
            m_footer.last()->setFocus(Qt::BacktabFocusReason);
            return true;
        case ShelfKeys::Command::settings:
            if (m_options.showSettings) m_options.showSettings();
            return true;
        case ShelfKeys::Command::previousAction:
            stepAction(-1, key != Qt::Key_Left);
            return true;
        case ShelfKeys::Command::nextAction:
            stepAction(+1, key != Qt::Key_Right);
            return true;
        case ShelfKeys::Command::pressAction:
            pressAction();
            return true;
        case ShelfKeys::Command::commit:
            m_controller.actions().commit();
            return true;
        case ShelfKeys::Command::activate:
            m_controller.actions().activateSelection(true);
            return true;
        case ShelfKeys::Command::flipLens:
            state.flipLens();
            return true;
        case ShelfKeys::Command::down:
            state.moveSelection(+1);
            return true;
        case ShelfKeys::Command::up:
            state.moveSelection(-1);
            return true;
        case ShelfKeys::Command::escape:
            m_controller.escape();
            return true;
        case ShelfKeys::Command::close:
            m_controller.dismiss();
            return true;
        case ShelfKeys::Command::toggleActions:
            state.toggleActions();
            return true;
        case ShelfKeys::Command::pin:
            m_controller.actions().pinSelected();
            return true;
        case ShelfKeys::Command::contextMenu:
            currentView()->showMenuForSelection();
            return true;
    }
    return false;
}

bool ShelfPanel::handleFooterKey(QToolButton* button, QKeyEvent* key)
{
    if (m_detached) return false;
    const qsizetype at = m_footer.indexOf(button);
    const ButtonRowKeys::Step step = ButtonRowKeys::step(*key);
    switch (step) {
        case ButtonRowKeys::Step::back:
        case ButtonRowKeys::Step::forward: {
            const bool back = step == ButtonRowKeys::Step::back;
            const Qt::FocusReason reason = back ? Qt::BacktabFocusReason : Qt::TabFocusReason;
            const qsizetype next = at + (back ? -1 : 1);
            const bool arrow = key->key() == Qt::Key_Left || key->key() == Qt::Key_Right;
            if (arrow)  // the arrows stop at the ends
                m_footer[std::clamp<qsizetype>(next, 0, m_footer.size() - 1)]->setFocus(Qt::OtherFocusReason);
            else if (next < 0 || next >= m_footer.size())  // Tab goes round the footer and the field
                m_field->setFocus(reason);
            else
                m_footer[next]->setFocus(reason);
            return true;
        }
        case ButtonRowKeys::Step::press:
            button->click();
            return true;
        case ButtonRowKeys::Step::none:
            break;
    }
    // The shelf's own commands that make sense away from the field: settings, Escape, Ctrl+W.
    switch (ShelfKeys::route(key->key(), key->modifiers())) {
        case ShelfKeys::Command::settings:
        case ShelfKeys::Command::escape:
        case ShelfKeys::Command::close:
            return handleKey(key->key(), key->modifiers());
        default:
            return false;
    }
}

QList<ShelfRowActions::Command> ShelfPanel::openChips() const
{
    ShelfListView* view = currentView();
    auto* model = static_cast<ShelfListModel*>(view->model());
    const int item = model->actionsItem();
    return item < 0 ? QList<ShelfRowActions::Command>{} : view->rowDelegate()->chipCommands(model->index(item));
}

void ShelfPanel::stepAction(int delta, bool wrap)
{
    const auto count = int(openChips().size());
    if (count == 0) return;
    ShelfSearchState& state = m_controller.searchState();
    int next = state.actionIndex() + delta;
    next = wrap ? (next % count + count) % count : std::clamp(next, 0, count - 1);
    state.setActionIndex(next);
}

void ShelfPanel::pressAction()
{
    const auto chips = openChips();
    const int at = m_controller.searchState().actionIndex();
    if (at >= 0 && at < chips.size()) chips[at].run();
}

void ShelfPanel::announceSelection()
{
    if (m_detached) return;
    ShelfListView* view = currentView();
    auto* model = static_cast<ShelfListModel*>(view->model());
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view);
    const auto selected = m_controller.searchState().selectedRow();
    const int item = selected ? model->indexOf(*selected) : -1;
    if (!list || item < 0) return;
    const int actions = model->actionsItem();
    const int chip = actions >= 0 ? model->focusedAction() : -1;
    if (view == m_announcedView && item == m_announcedItem && chip == m_announcedChip) return;
    m_announcedView = view;
    m_announcedItem = item;
    m_announcedChip = chip;
    QAccessibleInterface* target = list->child(item);
    if (chip >= 0)
        if (QAccessibleInterface* row = list->child(actions)) target = row->child(chip);
    if (!target) return;
    // The keyboard stays in the search field: what it moves over is told as focus, selection and
    // active descendant, which is what screen readers follow in a list driven from a field.
    for (const auto type : {QAccessible::Focus, QAccessible::Selection, QAccessible::ActiveDescendantChanged}) {
        QAccessibleEvent event(target, type);
        QAccessible::updateAccessibility(&event);
    }
}

void ShelfPanel::announceLens()
{
    if (m_detached) return;
    for (ShelfLensChip* chip : std::as_const(m_chips)) {
        if (!chip->isSelected()) continue;
        for (const auto type : {QAccessible::Focus, QAccessible::Selection}) {
            QAccessibleEvent event(chip, type);
            QAccessible::updateAccessibility(&event);
        }
    }
    m_announcedItem = -1;
}

bool ShelfPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (auto* button = qobject_cast<QToolButton*>(watched);
        button && m_footer.contains(button) && event->type() == QEvent::KeyPress) {
        return handleFooterKey(button, static_cast<QKeyEvent*>(event));
    }
    if (watched == m_field && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (m_detached || ShelfKeys::route(key->key(), key->modifiers(),
                                           m_controller.searchState().actionsRowShown()) == ShelfKeys::Command::none)
            return false;
        if (event->type() == QEvent::ShortcutOverride) {
            // Ours, before any shortcut of the field or the application.
            event->accept();
            return true;
        }
        handleKey(key->key(), key->modifiers());
        return true;
    }
    if (watched == m_field && event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        // The Menu key's press already opened the selected row's menu; the desktop's own menu event
        // for the same press would replace it with the field's editing menu.
        return true;
    }
    if (watched == m_banner && event->type() == QEvent::MouseButtonRelease && !m_options.storeFailed &&
        !storeWarning(m_controller.store()) && m_options.showSettings) {
        m_controller.settings().setValue(QStringLiteral("settings.selectedTab"), QStringLiteral("permissions"));
        m_options.showSettings();
        return true;
    }
    return KeyablePanel::eventFilter(watched, event);
}

bool ShelfPanel::event(QEvent* event)
{
    // A popup of our own (a row's menu) is not a loss of focus. A panel already closed is waiting for
    // its deletion and has nothing left to report.
    if (event->type() == QEvent::WindowDeactivate && !m_detached && isVisible() && !QApplication::activePopupWidget()) {
        m_controller.focusLost();
    }
    return KeyablePanel::event(event);
}

void ShelfPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    p.fillPath(path, TarnwickTheme::surface());
}

void ShelfPanel::resizeEvent(QResizeEvent* event)
{
    // X11 without a compositor draws no translucency: the corners are cut with a mask.
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
    KeyablePanel::resizeEvent(event);
}
