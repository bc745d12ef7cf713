#include "settings/NoteSettingsTab.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include "design/MiddleElidedLabel.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "model/NoteTheme.h"
#include "platform/Settings.h"
#include "settings/SettingsTexts.h"
#include "settings/SettingsWidgets.h"
#include "settings/TarnSettingsSection.h"
#include "settings/TarnSwitchToggleStyle.h"
#include "settings/ThemeGrid.h"
#include "store/NoteStore.h"
#include "store/NoteThemes.h"

using namespace SettingsWidgets;

namespace {
const QString kDefaultThemeKey = QStringLiteral("notes.defaultThemeID");
const QString kOpacityKey = QStringLiteral("general.defaultOpacityValue");
}  // namespace

NoteSettingsTab::NoteSettingsTab(const SettingsServices& services, QWidget* parent)
    : SettingsPage(parent), m_services(services)
{
    auto* theme = new TarnSettingsSection(QStringLiteral("Theme"));
    theme->addRow(caption(QStringLiteral("A theme is the whole look of a note — its paper, its typeface and its ink. "
                                         "Themes are shared: editing one restyles every note wearing it."),
                          theme->card()));
    theme->addDivider();
    m_grid = new ThemeGrid(theme->card());
    m_grid->setOnPick([this](const QString& id) { m_services.settings.setValue(kDefaultThemeKey, id); });
    theme->addRow(m_grid);
    theme->addDivider();
    auto* uses = label(QStringLiteral("New notes use"), theme->card(), {}, TarnwickTheme::textSecondary());
    QFont bold = font();
    bold.setWeight(QFont::DemiBold);
    m_defaultName = new MiddleElidedLabel(theme->card());
    m_defaultName->setFont(bold);
    m_newTheme = button(QStringLiteral("New Theme…"), theme->card());
    m_newTheme->setEnabled(false);  // until the theme window is there
    connect(m_newTheme, &QPushButton::clicked, this, [this] { newTheme(); });
    theme->addRow(row({uses, m_defaultName, nullptr, m_newTheme}));
    addSection(theme);

    auto* windows = new TarnSettingsSection(QStringLiteral("Windows"));
    auto* opacityBox = new QWidget(windows->card());
    auto* opacityColumn = new QVBoxLayout(opacityBox);
    opacityColumn->setContentsMargins(0, 0, 0, 0);
    opacityColumn->setSpacing(4);
    m_opacityText = label({}, opacityBox, TarnwickType::mono(), TarnwickTheme::textSecondary());
    opacityColumn->addLayout(
        row({label(QStringLiteral("Default window opacity"), opacityBox), nullptr, m_opacityText}));
    m_opacity = new QSlider(Qt::Horizontal, opacityBox);
    m_opacity->setRange(100, 1000);  // per mille
    m_opacity->setSingleStep(10);
    m_opacity->setPageStep(100);
    m_opacity->setAccessibleName(QStringLiteral("Default window opacity"));
    opacityColumn->addWidget(m_opacity);
    windows->addRow(opacityBox);
    windows->addDivider();
    windows->addRow(caption(QStringLiteral("Opacity belongs to a window, not to a note. Every window starts here; "
                                           "nudge one from its note and that window keeps the new value until it "
                                           "closes."),
                            windows->card()));
    addSection(windows);
    // Stored when the handle is let go and on each key step, not on every pixel of a drag.
    connect(m_opacity, &QSlider::valueChanged, this, [this](int value) {
        m_opacityText->setText(SettingsTexts::percent(value / 1000.0));
        m_opacity->setAccessibleDescription(QString::number(std::lround(value / 10.0)) + QStringLiteral(" percent"));
        if (!m_opacity->isSliderDown()) storeOpacity();
    });
    connect(m_opacity, &QSlider::sliderReleased, this, [this] { storeOpacity(); });

    auto* behaviour = new TarnSettingsSection(QStringLiteral("Behaviour"));
    auto* floatRow = new TarnSwitchToggleStyle(QStringLiteral("Notes float above other windows"),
                                               QStringLiteral("Applies to every note window"));
    m_float = floatRow->toggle();
    // The note windows follow the key themselves.
    bindSwitch(m_float, services.settings, QStringLiteral("notes.floatOnTop"), true);
    behaviour->addRow(floatRow);
    behaviour->addDivider();
    auto* oneRow = new TarnSwitchToggleStyle(
        QStringLiteral("One note at a time"),
        QStringLiteral("Opening a note reuses the same window; swipe sideways to flip through the notes you have "
                       "open. Off = each note opens its own window."));
    bindSwitch(oneRow->toggle(), services.settings, QStringLiteral("notes.oneAtATime"), true);
    behaviour->addRow(oneRow);
    behaviour->addDivider();
    auto* sourceRow = new TarnSwitchToggleStyle(
        QStringLiteral("Remember where a capture came from"),
        QStringLiteral("Keeps the app, the page and the time beside captured text, so one click returns you to the "
                       "source."));
    bindSwitch(sourceRow->toggle(), services.settings, QStringLiteral("capture.attachSource"), true);
    behaviour->addRow(sourceRow);
    addSection(behaviour);

    connect(&services.settings, &Settings::valueChanged, this, [this](const QString& key) {
        if (key == kDefaultThemeKey || key == QLatin1String("general.defaultTint")) refreshThemes();
        if (key == kOpacityKey) refreshOpacity();
    });
    m_themeObserver = services.center.observe(
        // Next turn: the store's theme cache drops its list on the same notification.
        tarnwickThemeChanged, [this](const Notification&) { QTimer::singleShot(0, this, [this] { refreshThemes(); }); },
        QString(), this);
    refreshThemes();
    refreshOpacity();
}

QString NoteSettingsTab::defaultThemeID() const
{
    const QVariant stored = m_services.settings.storedValue(kDefaultThemeKey);
    if (stored.typeId() == QMetaType::QString) return stored.toString();
    return NoteThemes::defaultThemeID(m_services.settings);
}

void NoteSettingsTab::refreshThemes()
{
    const QVector<ResolvedNoteTheme> library = NoteThemes::library(m_services.store.storedThemes());
    const QString selected = defaultThemeID();
    m_grid->setThemes(library);
    m_grid->setSelectedID(selected);
    QString name = QStringLiteral("Blue");
    for (const auto& theme : library)
        if (theme.id == selected) {
            name = theme.name;
            break;
        }
    m_defaultName->setFullText(name);
}

void NoteSettingsTab::refreshOpacity()
{
    const QSignalBlocker blocker(m_opacity);
    const double value = SettingsTexts::defaultOpacity(m_services.settings);
    m_opacity->setValue(SettingsTexts::perMille(value));
    m_opacityText->setText(SettingsTexts::percent(value));
    m_opacity->setAccessibleDescription(QString::number(std::lround(value * 100)) + QStringLiteral(" percent"));
}

void NoteSettingsTab::storeOpacity()
{
    const double value = m_opacity->value() / 1000.0;
    const QVariant stored = m_services.settings.storedValue(kOpacityKey);
    if (stored.typeId() == QMetaType::Double && stored.toDouble() == value) return;
    m_services.settings.setValue(kOpacityKey, value);
}

void NoteSettingsTab::setThemeActions(const SettingsThemeActions& actions)
{
    m_themeActions = actions;
    if (m_themeActions.edit)
        m_grid->setOnEdit([this](const QString& id) {
            if (m_themeActions.edit) m_themeActions.edit(id);
        });
    else
        m_grid->setOnEdit({});
    if (m_themeActions.createFrom)
        m_grid->setOnCreate([this] { newTheme(); });
    else
        m_grid->setOnCreate({});
    m_newTheme->setEnabled(bool(m_themeActions.createFrom));
}

void NoteSettingsTab::newTheme()
{
    if (!m_themeActions.createFrom) return;
    const QString selected = defaultThemeID();
    for (const auto& theme : NoteThemes::library(m_services.store.storedThemes()))
        if (theme.id == selected) return m_themeActions.createFrom(theme);
    m_themeActions.createFrom(NoteTheme::builtIn(Tint::blue));
}
