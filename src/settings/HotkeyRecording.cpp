#include "settings/HotkeyRecording.h"

#include "capture/HotkeyGlyphs.h"
#include "capture/KeyCodeName.h"

namespace {
constexpr quint32 kEscapeKeysym = 0xff1b;
constexpr quint32 kMaxKeyCode = 127;
}  // namespace

QString HotkeyRecording::title(HotkeyManager::Action action)
{
    switch (action) {
        case HotkeyManager::Action::newNote:
            return QStringLiteral("New note");
        case HotkeyManager::Action::capture:
            return QStringLiteral("Capture");
        case HotkeyManager::Action::hideAll:
            return QStringLiteral("Hide / show all");
        case HotkeyManager::Action::shelf:
            return QStringLiteral("Open the Shelf");
    }
    return {};
}

std::optional<quint32> HotkeyRecording::keyCodeForKeysym(quint32 keysym)
{
    // Upper-case Latin letters fold to the lower-case keysyms the table names.
    if (keysym >= 'A' && keysym <= 'Z') keysym += 'a' - 'A';
    for (quint32 code = 0; code <= kMaxKeyCode; ++code)
        if (KeyCodeName::keysym(code) == keysym) return code;
    return std::nullopt;
}

quint32 HotkeyRecording::carbonMask(const Press& press)
{
    quint32 mask = 0;
    if (press.super) mask |= HotkeyManager::kCommand;
    if (press.shift) mask |= HotkeyManager::kShift;
    if (press.alt) mask |= HotkeyManager::kOption;
    if (press.ctrl) mask |= HotkeyManager::kControl;
    return mask;
}

std::optional<HotkeyManager::Action> HotkeyRecording::takenBy(HotkeyManager::Shortcut shortcut,
                                                              HotkeyManager::Action action, const Settings& settings)
{
    // The capture chord is also grabbed with Super added, so both forms are taken.
    const auto withSuper = [](HotkeyManager::Shortcut s) {
        s.modifiers |= HotkeyManager::kCommand;
        return s;
    };
    for (HotkeyManager::Action other : HotkeyManager::allCases()) {
        if (other == action) continue;
        const HotkeyManager::Shortcut bound = HotkeyManager::storedBinding(other, settings);
        if (bound == shortcut) return other;
        if (other == HotkeyManager::Action::capture && withSuper(bound) == shortcut) return other;
        if (action == HotkeyManager::Action::capture && withSuper(shortcut) == bound) return other;
    }
    return std::nullopt;
}

HotkeyRecording::Outcome HotkeyRecording::evaluate(const Press& press, HotkeyManager::Action action,
                                                   const Settings& settings)
{
    if (press.autoRepeat || press.isModifierKey) return {};
    if (press.keysym == kEscapeKeysym) return {Kind::cancel, {}, {}};
    const quint32 mask = carbonMask(press);
    if ((mask & ~HotkeyManager::kShift) == 0)
        return {Kind::refuse,
                {},
                mask ? QStringLiteral("Shift alone is not enough: add Ctrl, Alt or Super")
                     : QStringLiteral("Add Ctrl, Alt or Super to the key")};
    const std::optional<quint32> code = press.keysym ? keyCodeForKeysym(*press.keysym) : std::nullopt;
    if (!code) return {Kind::refuse, {}, QStringLiteral("That key cannot be a hot key")};
    const HotkeyManager::Shortcut shortcut{*code, mask};
    if (const auto other = takenBy(shortcut, action, settings))
        return {Kind::refuse,
                {},
                HotkeyGlyphs::chord(shortcut.keyCode, shortcut.modifiers) + QStringLiteral(" is already “") +
                    title(*other) + QStringLiteral("”")};
    return {Kind::store, shortcut, {}};
}
