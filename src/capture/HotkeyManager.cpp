#include "capture/HotkeyManager.h"

#include <algorithm>

#include "capture/KeyCodeName.h"
#include "platform/GlobalHotkeys.h"
#include "platform/Log.h"
#include "platform/Settings.h"

namespace {

constexpr quint32 kDefaultModifiers = HotkeyManager::kOption | HotkeyManager::kShift;
constexpr char kMigratedKey[] = "hotkey.migratedToLightScheme";
// What a grab answers when the keymap cannot name the key, and when a chord is already held.
constexpr qint32 kBadValue = 2, kBadAccess = 10;

quint32 defaultKeyCode(HotkeyManager::Action action)
{
    switch (action) {
        case HotkeyManager::Action::newNote:
            return 45;
        case HotkeyManager::Action::capture:
            return 49;
        case HotkeyManager::Action::hideAll:
            return 4;
        case HotkeyManager::Action::shelf:
            return 1;
    }
    return 0;
}

// The capture hot key used to be Option+Space; the others had today's defaults.
quint32 legacyModifiers(HotkeyManager::Action action)
{
    return action == HotkeyManager::Action::capture ? HotkeyManager::kOption : kDefaultModifiers;
}

GlobalHotkeys::Chord chordFor(HotkeyManager::Shortcut shortcut, quint32 keysym)
{
    quint32 modifiers = 0;
    if (shortcut.modifiers & HotkeyManager::kShift) modifiers |= GlobalHotkeys::Shift;
    if (shortcut.modifiers & HotkeyManager::kControl) modifiers |= GlobalHotkeys::Control;
    if (shortcut.modifiers & HotkeyManager::kOption) modifiers |= GlobalHotkeys::Alt;
    if (shortcut.modifiers & HotkeyManager::kCommand) modifiers |= GlobalHotkeys::Super;
    return {keysym, modifiers};
}

bool fitsUInt32(qint64 v)
{
    return v >= 0 && v <= qint64(0xFFFFFFFFu);
}

// A chord needs Control, Alt or Super: a bare key, or one with Shift alone, would take that key from
// every application. Bits that are no modifier of ours mean the value is not a binding at all.
bool usableModifiers(qint64 modifiers)
{
    constexpr qint64 chordBits = HotkeyManager::kCommand | HotkeyManager::kOption | HotkeyManager::kControl;
    constexpr qint64 allBits = chordBits | HotkeyManager::kShift;
    return fitsUInt32(modifiers) && (modifiers & chordBits) != 0 && (modifiers & ~allBits) == 0;
}

// Presses of a held key come this often at the slowest usual repeat delay; a new press by hand
// after a release lost somewhere is slower than that.
constexpr quint32 kRepeatWindowMs = 1000;

}  // namespace

QString HotkeyManager::rawValue(Action action)
{
    switch (action) {
        case Action::newNote:
            return QStringLiteral("newNote");
        case Action::capture:
            return QStringLiteral("capture");
        case Action::hideAll:
            return QStringLiteral("hideAll");
        case Action::shelf:
            return QStringLiteral("shelf");
    }
    return {};
}

std::optional<HotkeyManager::Action> HotkeyManager::actionFromRawValue(const QString& raw)
{
    for (Action a : allCases())
        if (rawValue(a) == raw) return a;
    return std::nullopt;
}

QString HotkeyManager::Status::label() const
{
    switch (kind) {
        case active:
            return QStringLiteral("Active");
        case conflict:
            return QStringLiteral("Conflict - in use by another app");
        case unavailable:
            return QStringLiteral("Unavailable - this display has no global hot keys");
        case failed:
            break;
    }
    return QStringLiteral("Failed (code %1)").arg(code);
}

QString HotkeyManager::keyCodeKey(Action action)
{
    return QStringLiteral("hotkey.") + rawValue(action) + ".keyCode";
}

QString HotkeyManager::modifiersKey(Action action)
{
    return QStringLiteral("hotkey.") + rawValue(action) + ".modifiers";
}

HotkeyManager::Shortcut HotkeyManager::defaultBinding(Action action)
{
    return {defaultKeyCode(action), kDefaultModifiers};
}

HotkeyManager::Shortcut HotkeyManager::storedBinding(Action action, const Settings& settings)
{
    if (!settings.contains(keyCodeKey(action))) return defaultBinding(action);
    const qint64 keyCode = settings.intValue(keyCodeKey(action));
    const qint64 modifiers = settings.contains(modifiersKey(action)) ? settings.intValue(modifiersKey(action)) : 0;
    if (usableModifiers(modifiers) && keyCode >= 0 && keyCode <= 127) return {quint32(keyCode), quint32(modifiers)};
    // Numbers outside 32 bits are shown as stored, not truncated, so the log names what is really there.
    qCWarning(Log::hotkeys, "Ignoring corrupt binding for %s (keyCode=%lld modifiers=%lld); using default",
              qUtf8Printable(rawValue(action)), static_cast<long long>(keyCode), static_cast<long long>(modifiers));
    return defaultBinding(action);
}

HotkeyManager::HotkeyManager(GlobalHotkeys& hotkeys, Settings& settings, QObject* parent)
    : HotkeyManager(hotkeys, settings, allCases(), parent)
{
}

HotkeyManager::HotkeyManager(GlobalHotkeys& hotkeys, Settings& settings, const QList<Action>& handled, QObject* parent)
    : QObject(parent), m_hotkeys(hotkeys), m_settings(settings), m_handled(handled)
{
    installHandler();
    migrateLegacyDefaults();
    for (Action a : allCases())
        if (m_handled.contains(a)) registerAction(a);
}

void HotkeyManager::enable(Action action)
{
    if (m_handled.contains(action)) return;
    m_handled.append(action);
    registerAction(action);
}

void HotkeyManager::installHandler()
{
    connect(&m_hotkeys, &GlobalHotkeys::pressed, this, &HotkeyManager::handlePress);
    connect(&m_hotkeys, &GlobalHotkeys::released, this, &HotkeyManager::handleRelease);
    // Grabbed again by the keys' names, as at start: the statuses then say where each chord stands on
    // the new layout, and a chord the old one could not name gets its grab.
    connect(&m_hotkeys, &GlobalHotkeys::keymapChanged, this, [this] {
        for (Action a : allCases())
            if (m_handled.contains(a)) registerAction(a);
    });
}

void HotkeyManager::handlePress(int id, quint32 modifiers, quint32 timeMs)
{
    KeyState& key = m_keys[id];
    // A held key repeats either as presses alone or as release-press pairs of one time stamp.
    const bool repeat = (key.held && quint32(timeMs - key.lastPress) < kRepeatWindowMs) ||
                        (key.lastRelease && *key.lastRelease == timeMs);
    key.held = true;
    key.lastPress = timeMs;
    if (repeat) return;

    const QList<Action> actions = allCases();
    const std::optional<Action> action = id == kCaptureWithCommandID      ? std::optional(Action::capture)
                                         : id >= 0 && id < actions.size() ? std::optional(actions.at(id))
                                                                          : std::nullopt;
    if (!action || !m_handled.contains(*action)) return;
    quint32 mask = 0;
    if (modifiers & GlobalHotkeys::Control) mask |= kControl;
    if (modifiers & GlobalHotkeys::Alt) mask |= kOption;
    if (modifiers & GlobalHotkeys::Shift) mask |= kShift;
    if (modifiers & GlobalHotkeys::Super) mask |= kCommand;
    if (onAction) onAction(*action, mask);
}

void HotkeyManager::handleRelease(int id, quint32 timeMs)
{
    KeyState& key = m_keys[id];
    key.held = false;
    key.lastRelease = timeMs;
}

// Conflicts of the Super variant are only logged: the capture chord itself works without it.
void HotkeyManager::registerCommandVariant(Shortcut binding)
{
    const std::optional<quint32> keysym = KeyCodeName::keysym(binding.keyCode);
    const Shortcut variant{binding.keyCode, binding.modifiers | kCommand};
    const bool wanted = m_registered.contains(Action::capture) && !(binding.modifiers & kCommand) && keysym;
    if (wanted && std::find(m_registered.cbegin(), m_registered.cend(), variant) != m_registered.cend()) {
        qCWarning(Log::hotkeys, "capture with Super is another action's chord; Super+capture is not registered");
    } else if (wanted) {
        // Grabbed over the old grab, which it replaces: released first, it would miss a press meanwhile.
        const GlobalHotkeys::Outcome outcome = m_hotkeys.grab(kCaptureWithCommandID, chordFor(variant, *keysym));
        m_commandVariantGrabbed = outcome.kind == GlobalHotkeys::Outcome::Grabbed;
        if (!m_commandVariantGrabbed)
            qCWarning(Log::hotkeys, "Failed to register capture with Super (status %d)", outcome.code);
        return;
    }
    if (m_commandVariantGrabbed) m_hotkeys.release(kCaptureWithCommandID);
    m_commandVariantGrabbed = false;
}

void HotkeyManager::registerAction(Action action)
{
    const int id = int(allCases().indexOf(action));
    // A chord held is not released before it is grabbed again: the grab replaces it, and a chord that
    // stays on its key is not let go for a moment (a layout notice renews every status this way).
    const bool held = m_registered.remove(action) > 0;

    const Shortcut binding = storedBinding(action, m_settings);
    GlobalHotkeys::Outcome outcome;
    const std::optional<quint32> keysym = KeyCodeName::keysym(binding.keyCode);
    const auto holder = std::find(m_registered.cbegin(), m_registered.cend(), binding);
    if (!keysym) {
        outcome = {GlobalHotkeys::Outcome::Failed, kBadValue};
    } else if (holder != m_registered.cend()) {
        // X lets one client grab a chord twice, so two of our own actions on one chord would both look
        // active while only one could ever fire. (Two chords on one key are refused by the grabber.)
        outcome = {GlobalHotkeys::Outcome::Conflict, kBadAccess};
    } else {
        outcome = m_hotkeys.grab(id, chordFor(binding, *keysym));
    }
    // Refused here without asking the grabber: what the action held goes.
    if (held && (!keysym || holder != m_registered.cend())) m_hotkeys.release(id);
    qCDebug(Log::hotkeys, "Registered %s keyCode=%u modifiers=%u status=%d", qUtf8Printable(rawValue(action)),
            binding.keyCode, binding.modifiers, outcome.code);

    Status status;
    switch (outcome.kind) {
        case GlobalHotkeys::Outcome::Grabbed:
            m_registered.insert(action, binding);
            status = {Status::active, 0};
            break;
        case GlobalHotkeys::Outcome::Conflict:
            status = {Status::conflict, 0};
            break;
        case GlobalHotkeys::Outcome::Unavailable:
            status = {Status::unavailable, 0};
            break;
        case GlobalHotkeys::Outcome::Failed:
            status = {Status::failed, outcome.code};
            break;
    }
    if (status.kind == Status::unavailable)
        qCWarning(Log::hotkeys, "Global hot keys are unavailable on this display; %s is not registered",
                  qUtf8Printable(rawValue(action)));
    else if (status.kind != Status::active)
        qCWarning(Log::hotkeys, "Failed to register %s (status %d)", qUtf8Printable(rawValue(action)), outcome.code);

    if (action == Action::capture) registerCommandVariant(binding);
    const auto previous = m_statuses.constFind(action);
    const bool changed = previous == m_statuses.cend() || !(*previous == status);
    m_statuses.insert(action, status);
    if (changed) Q_EMIT statusesChanged();
}

void HotkeyManager::setBinding(Shortcut shortcut, Action action)
{
    m_settings.setValue(keyCodeKey(action), qint64(shortcut.keyCode));
    m_settings.setValue(modifiersKey(action), qint64(shortcut.modifiers));
    if (!m_handled.contains(action)) return;
    registerAction(action);
    // The old chord may have been what kept another action from its key: that one is tried again,
    // so its row says what its chord does now.
    for (Action other : allCases())
        if (other != action && m_handled.contains(other) && m_statuses.value(other).kind == Status::conflict)
            registerAction(other);
}

void HotkeyManager::restoreDefaults()
{
    for (Action a : allCases()) {
        m_settings.remove(keyCodeKey(a));
        m_settings.remove(modifiersKey(a));
    }
    // Release everything first so that defaults are not refused because of a custom chord that
    // another action still holds until its own turn comes.
    for (Action a : m_registered.keys()) m_hotkeys.release(int(allCases().indexOf(a)));
    m_registered.clear();
    for (Action a : allCases())
        if (m_handled.contains(a)) registerAction(a);
}

void HotkeyManager::migrateLegacyDefaults()
{
    if (m_settings.boolValue(QString::fromLatin1(kMigratedKey))) return;
    for (Action a : allCases()) {
        if (!m_settings.contains(keyCodeKey(a))) continue;
        const qint64 keyCode = m_settings.intValue(keyCodeKey(a));
        const qint64 modifiers = m_settings.contains(modifiersKey(a)) ? m_settings.intValue(modifiersKey(a)) : 0;
        if (keyCode != qint64(defaultKeyCode(a)) || modifiers != qint64(legacyModifiers(a))) continue;
        m_settings.remove(keyCodeKey(a));
        m_settings.remove(modifiersKey(a));
        qCInfo(Log::hotkeys, "Migrated %s off its legacy default", qUtf8Printable(rawValue(a)));
    }
    m_settings.setValue(QString::fromLatin1(kMigratedKey), true);
}
