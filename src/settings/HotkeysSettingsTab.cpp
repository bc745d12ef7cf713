#include "settings/HotkeysSettingsTab.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "capture/HotkeyGlyphs.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "platform/KeyboardMap.h"
#include "platform/Settings.h"
#include "settings/HotkeyRecording.h"
#include "settings/SettingsWidgets.h"
#include "settings/TarnSettingsSection.h"

using namespace SettingsWidgets;
using Action = HotkeyManager::Action;

namespace {

// A key that makes no chord by itself; unknown keys (a dead key, a key the map leaves empty) neither.
bool makesNoChord(int key)
{
    return key == Qt::Key_unknown || KeyboardMap::isModifierKey(key);
}

QString chordOf(HotkeyManager::Shortcut s)
{
    return HotkeyGlyphs::chord(s.keyCode, s.modifiers);
}

}  // namespace

HotkeysSettingsTab::HotkeysSettingsTab(const SettingsServices& services, QWidget* parent)
    : SettingsPage(parent), m_services(services)
{
    auto* keys = new TarnSettingsSection(QStringLiteral("Global Hotkeys"));
    const QList<Action> actions = HotkeyManager::allCases();
    for (Action action : actions) {
        auto* box = new QWidget(keys->card());
        auto* column = new QVBoxLayout(box);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(4);
        Row row{action, nullptr, nullptr, nullptr, nullptr};
        QFont mono = TarnwickType::mono();
        mono.setPointSizeF(font().pointSizeF());
        row.chord = label({}, box, mono, TarnwickTheme::textSecondary());
        row.record = button(QStringLiteral("Record"), box);
        row.record->setAccessibleDescription(HotkeyRecording::title(action));
        connect(row.record, &QPushButton::clicked, this, [this, action] { startRecording(action); });
        column->addLayout(
            SettingsWidgets::row({label(HotkeyRecording::title(action), box), nullptr, row.chord, row.record}));
        row.status = new SymbolLabel(box, TarnwickType::caption());
        column->addWidget(row.status);
        row.message = label({}, box, TarnwickType::caption(), TarnwickTheme::destructive());
        row.message->setWordWrap(true);
        row.message->hide();
        column->addWidget(row.message);
        keys->addRow(box);
        if (action != actions.last()) keys->addDivider();
        m_rows << row;
    }
    addSection(keys);

    auto* help = new TarnSettingsSection;
    help->addRow(caption(QStringLiteral("Click Record, then press a new combination (must include Ctrl, Alt or "
                                        "Super). A “Conflict” status means another app already owns that combo. "
                                        "Rebind here or in that app."),
                         help->card()));
    help->addDivider();
    m_restore = button(QStringLiteral("Restore Defaults"), help->card());
    m_restore->setToolTip(QStringLiteral("Reset the hotkeys to ") + defaultChords());
    connect(m_restore, &QPushButton::clicked, this, [this] {
        endRecording();
        if (HotkeyManager* hotkeys = m_services.hotkeys ? m_services.hotkeys() : nullptr)
            hotkeys->restoreDefaults();
        else
            for (Action action : HotkeyManager::allCases()) {
                m_services.settings.remove(HotkeyManager::keyCodeKey(action));
                m_services.settings.remove(HotkeyManager::modifiersKey(action));
            }
        for (Row& row : m_rows) row.message->hide();
        refresh();
    });
    help->addRow(SettingsWidgets::row({m_restore, nullptr}));
    addSection(help);

    connect(&services.settings, &Settings::valueChanged, this, [this](const QString& key) {
        // A binding is two keys written one after the other: read them once both are there.
        if (key.startsWith(QLatin1String("hotkey.")) && !m_refreshQueued) {
            m_refreshQueued = true;
            QTimer::singleShot(0, this, [this] {
                m_refreshQueued = false;
                refresh();
            });
        }
    });
    refresh();
}

HotkeysSettingsTab::~HotkeysSettingsTab()
{
    endRecording();
}

QString HotkeysSettingsTab::defaultChords()
{
    QStringList chords;
    for (Action action : HotkeyManager::allCases()) chords << chordOf(HotkeyManager::defaultBinding(action));
    return chords.join(QStringLiteral(" · "));
}

std::optional<quint32> HotkeysSettingsTab::keysymOf(const QKeyEvent& event)
{
    if (event.nativeScanCode() != 0) return KeyboardMap::hotkeyKeysym(event.nativeScanCode());
    const int key = event.key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return quint32('a' + (key - Qt::Key_A));
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || key == Qt::Key_Space) return quint32(key);
    if (key == Qt::Key_Escape) return 0xff1b;
    return std::nullopt;
}

HotkeysSettingsTab::Row* HotkeysSettingsTab::rowFor(Action action)
{
    for (Row& row : m_rows)
        if (row.action == action) return &row;
    return nullptr;
}

void HotkeysSettingsTab::refresh()
{
    HotkeyManager* hotkeys = m_services.hotkeys ? m_services.hotkeys() : nullptr;
    // The manager may be installed after the page was built: follow it from the first refresh that has it.
    if (hotkeys && m_followed != hotkeys) {
        m_followed = hotkeys;
        connect(hotkeys, &HotkeyManager::statusesChanged, this, &HotkeysSettingsTab::refresh);
    }
    const auto statuses = hotkeys ? hotkeys->statuses() : QMap<Action, HotkeyManager::Status>{};
    for (Row& row : m_rows) {
        const bool recording = m_recording == row.action;
        row.chord->setText(chordOf(HotkeyManager::storedBinding(row.action, m_services.settings)));
        row.record->setText(recording ? QStringLiteral("Press keys…") : QStringLiteral("Record"));
        row.record->setEnabled(!recording);
        QString symbol = QStringLiteral("minus"), text = QStringLiteral("-"), spoken = QStringLiteral("unknown");
        QColor color = TarnwickTheme::textSecondary();
        if (statuses.contains(row.action)) {
            const HotkeyManager::Status status = statuses.value(row.action);
            text = spoken = status.label();
            switch (status.kind) {
                case HotkeyManager::Status::active:
                    symbol = QStringLiteral("checkmark");
                    color = TarnwickTheme::accent();
                    break;
                case HotkeyManager::Status::conflict:
                    symbol = QStringLiteral("exclamationmark.triangle");
                    // A deep orange: the lighter one read under 4.5:1 on the card.
                    color = QColor(0xA3, 0x54, 0x00);
                    break;
                case HotkeyManager::Status::failed:
                    symbol = QStringLiteral("xmark");
                    color = QColor(0xC0, 0x2E, 0x2E);
                    break;
                case HotkeyManager::Status::unavailable:
                    symbol = QStringLiteral("xmark");
                    color = TarnwickTheme::textSecondary();
                    break;
            }
        }
        row.status->set(symbol, text, color);
        row.status->setAccessibleName(HotkeyRecording::title(row.action) + QStringLiteral(" status: ") + spoken);
    }
}

void HotkeysSettingsTab::startRecording(Action action)
{
    endRecording();
    Row* row = rowFor(action);
    if (!row) return;
    m_recording = action;
    row->message->hide();
    m_grabber = row->record;
    m_returnFocus = row->record->hasFocus();
    // Held by this window, the keyboard reaches no passive grab: our own hot keys stay quiet.
    m_grabber->grabKeyboard();
    qApp->installEventFilter(this);
    m_timeout = m_services.clock.after(kRecordingTimeoutMs, this, [this] { endRecording(); });
    refresh();
}

void HotkeysSettingsTab::endRecording()
{
    if (!m_recording) return;
    m_recording.reset();
    m_timeout.cancel();
    qApp->removeEventFilter(this);
    QPointer<QWidget> record = m_grabber;
    if (m_grabber) m_grabber->releaseKeyboard();
    m_grabber = nullptr;
    refresh();
    // Disabled while it listened, the button gave the focus away: it comes back to the same row.
    if (record && m_returnFocus) record->setFocus(Qt::OtherFocusReason);
    m_returnFocus = false;
}

bool HotkeysSettingsTab::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_recording) return SettingsPage::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::KeyPress:
            handleKey(static_cast<QKeyEvent*>(event));
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::ApplicationDeactivate:
            endRecording();
            break;
        default:
            break;
    }
    return SettingsPage::eventFilter(watched, event);
}

void HotkeysSettingsTab::handleKey(QKeyEvent* event)
{
    const Action action = *m_recording;
    // The user went to another window (our windows are not always told while we hold the keyboard):
    // this key was meant for it, not for the hot key.
    if (!KeyboardMap::hasInputFocus(window()->winId())) {
        endRecording();
        return;
    }
    HotkeyRecording::Press press;
    press.keysym = keysymOf(*event);
    const Qt::KeyboardModifiers mods = event->modifiers();
    press.ctrl = mods & Qt::ControlModifier;
    press.alt = mods & Qt::AltModifier;
    press.shift = mods & Qt::ShiftModifier;
    press.super = mods & Qt::MetaModifier;
    press.isModifierKey = makesNoChord(event->key());
    press.autoRepeat = event->isAutoRepeat();
    const HotkeyRecording::Outcome outcome = HotkeyRecording::evaluate(press, action, m_services.settings);
    if (outcome.kind == HotkeyRecording::Kind::keepWaiting) return;
    endRecording();
    Row* row = rowFor(action);
    if (outcome.kind == HotkeyRecording::Kind::refuse && row) {
        row->message->setText(outcome.message);
        row->message->show();
    } else if (outcome.kind == HotkeyRecording::Kind::store) {
        if (HotkeyManager* hotkeys = m_services.hotkeys ? m_services.hotkeys() : nullptr)
            hotkeys->setBinding(outcome.shortcut, action);
        else {
            m_services.settings.setValue(HotkeyManager::keyCodeKey(action), qint64(outcome.shortcut.keyCode));
            m_services.settings.setValue(HotkeyManager::modifiersKey(action), qint64(outcome.shortcut.modifiers));
        }
        refresh();
    }
}

void HotkeysSettingsTab::hideEvent(QHideEvent* event)
{
    endRecording();
    SettingsPage::hideEvent(event);
}

void HotkeysSettingsTab::showEvent(QShowEvent* event)
{
    SettingsPage::showEvent(event);
    refresh();
}

void HotkeysSettingsTab::windowActivationChanged(bool active)
{
    if (!active) endRecording();
}
