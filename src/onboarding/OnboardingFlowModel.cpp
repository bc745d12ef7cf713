#include "onboarding/OnboardingFlowModel.h"

#include "capture/HotkeyGlyphs.h"
#include "capture/KeyCodeName.h"
#include "model/NoteNotifications.h"
#include "onboarding/PracticeSelection.h"

using Screen = OnboardingFlowModel::Screen;
using Action = HotkeyManager::Action;

std::optional<Screen> OnboardingFlowModel::screenFromRawValue(int raw)
{
    if (raw < 0 || raw >= kScreenCount) return std::nullopt;
    return Screen(raw);
}

bool OnboardingFlowModel::isSkippable(Screen screen)
{
    return screen != Screen::welcome && screen != Screen::agreement;
}

std::optional<Action> OnboardingFlowModel::listensFor(Screen screen)
{
    switch (screen) {
        case Screen::newNote:
            return Action::newNote;
        case Screen::capture:
            return Action::capture;
        case Screen::hide:
            return Action::hideAll;
        case Screen::shelf:
            return Action::shelf;
        default:
            return std::nullopt;
    }
}

std::optional<int> OnboardingFlowModel::markIndex(Screen screen)
{
    if (!listensFor(screen)) return std::nullopt;
    return int(screen) - int(Screen::newNote);
}

QStringList OnboardingFlowModel::chord(Action action, const Settings& settings)
{
    const HotkeyManager::Shortcut binding = HotkeyManager::storedBinding(action, settings);
    QStringList keys;
    // The row draws the "+" between caps, so each modifier cap shows its name alone.
    for (QString modifier : HotkeyGlyphs::modifiers(binding.modifiers)) {
        if (modifier.endsWith(u'+')) modifier.chop(1);
        keys << modifier;
    }
    keys << KeyCodeName::string(binding.keyCode);
    return keys;
}

OnboardingFlowModel::OnboardingFlowModel(NotificationCenter& center, const Settings& settings,
                                         PracticeSelection& practice, bool captureAvailable, QObject* parent)
    : QObject(parent), m_settings(settings), m_practice(practice), m_captureAvailable(captureAvailable)
{
    m_hotkeyObserver = center.observe(
        tarnwickHotkeyFired, [this](const Notification& n) { hotkeyFired(n.object); }, QString(), this);
    // The selection wakes or puts the capture page's keys to sleep.
    connect(&m_practice, &PracticeSelection::selectedTextChanged, this, [this] {
        if (m_screen == Screen::capture) Q_EMIT pageChanged();
    });
    // Each showing starts without practice words.
    m_practice.clear();
}

QString OnboardingFlowModel::windowTitle() const
{
    // The title counts what the step marks count, the four key pages, so the two never disagree.
    if (const std::optional<int> mark = markIndex(m_screen))
        return QStringLiteral("Tarnwick tour (Step %1 of %2)").arg(*mark + 1).arg(kMarkCount);
    return QStringLiteral("Tarnwick tour");
}

bool OnboardingFlowModel::showsPracticeField() const
{
    return m_screen == Screen::capture && m_captureAvailable && !isEarned(Screen::capture);
}

OnboardingFlowModel::Page OnboardingFlowModel::page() const
{
    Page page;
    page.markIndex = markIndex(m_screen);
    page.showsSkip =
        isSkippable(m_screen) && !isEarned(m_screen) && m_screen != Screen::notes && m_screen != Screen::connections;
    auto keyScreen = [&](Action action, const QString& title, const QString& body) {
        page.title = title;
        page.body = body;
        page.keys = chord(action, m_settings);
        page.keysEarned = isEarned(m_screen);
        if (page.keysEarned)
            page.primaryButton = QStringLiteral("Next");
        else
            page.listening = QStringLiteral("Listening");
    };
    switch (m_screen) {
        case Screen::welcome:
            page.title = QStringLiteral("Capture the thought.\nKeep working.");
            page.body = QStringLiteral(
                "Select anything, press one key. It's in your notes, and it never leaves your computer.");
            page.primaryButton = QStringLiteral("Begin");
            break;
        case Screen::newNote:
            keyScreen(Action::newNote, QStringLiteral("New note"),
                      QStringLiteral("For a thought longer than one line. It opens at the top right of your screen "
                                     "and stays on top of whatever you're doing."));
            break;
        case Screen::capture:
            page.keys = chord(Action::capture, m_settings);
            page.title = QStringLiteral("Capture");
            if (isEarned(Screen::capture)) {
                page.captureGroup = CaptureGroup::captured;
                page.keysEarned = true;
                page.title = QStringLiteral("That's the whole app.");
                page.body = QStringLiteral("It went straight into your notes without opening anything.");
                page.primaryButton = QStringLiteral("Next key");
            } else if (!m_captureAvailable) {
                page.captureGroup = CaptureGroup::enableCapture;
                page.body = QStringLiteral(
                    "Capture reads highlighted text through X11, which this session does not offer. Nothing is "
                    "read until you press the keys.");
                page.primaryButton = QStringLiteral("Enable capture");
            } else {
                page.captureGroup = CaptureGroup::practice;
                const bool hasWords = !m_practice.selectedText().isEmpty();
                page.keysAsleep = !hasWords;
                page.listening =
                    hasWords ? QStringLiteral("Now press the keys") : QStringLiteral("Waiting for a selection");
                page.listeningUrgent = hasWords;
            }
            break;
        case Screen::hide:
            keyScreen(Action::hideAll, QStringLiteral("Hide everything"),
                      QStringLiteral("One key clears the desk \u2014 every note goes out of sight. The same key brings "
                                     "them all back, exactly where they were."));
            break;
        case Screen::shelf:
            keyScreen(Action::shelf, QStringLiteral("The Shelf"),
                      QStringLiteral("Everything you've captured, in the tray. It opens with the search field already "
                                     "focused, or click the tray icon any time."));
            break;
        case Screen::notes:
            page.title = QStringLiteral("Your notes, on top\nof your work.");
            page.primaryButton = QStringLiteral("Next");
            break;
        case Screen::connections:
            page.title = QStringLiteral("Let your tools\nread your notes.");
            page.body = QStringLiteral(
                "Claude, ChatGPT and other tools on this computer can read your notes over a local connection that "
                "never touches the network.");
            page.primaryButton = QStringLiteral("Next");
            break;
        case Screen::agreement:
            page.title = QStringLiteral("Nothing leaves\nyour computer.");
            page.primaryButton = QStringLiteral("Start capturing");
            break;
    }
    return page;
}

void OnboardingFlowModel::advance()
{
    const std::optional<Screen> next = screenFromRawValue(int(m_screen) + 1);
    if (!next) {
        m_practice.clear();
        Q_EMIT finished();
        return;
    }
    m_screen = *next;
    dropPracticeWhenFieldGone();
    Q_EMIT screenChanged();
}

void OnboardingFlowModel::hotkeyFired(const QString& object)
{
    const std::optional<Action> action = HotkeyManager::actionFromRawValue(object);
    if (!action) return;
    const std::optional<Action> wanted = listensFor(m_screen);
    if (!wanted || *wanted != *action || isEarned(m_screen)) return;
    ++m_pressTick;
    m_earned.insert(m_screen);
    dropPracticeWhenFieldGone();
    Q_EMIT earned(m_pressTick);
    Q_EMIT pageChanged();
}

void OnboardingFlowModel::dropPracticeWhenFieldGone()
{
    if (!showsPracticeField()) m_practice.clear();
}
