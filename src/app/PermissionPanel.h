#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

#include "platform/FocusReturn.h"
#include "settings/PermissionAudit.h"

// What an explanation panel says: an icon, a heading, a paragraph, a few reassurances and its
// buttons. With no primary title there is nothing to open, and the panel has one "OK" button.
struct PermissionPanel {
    QString symbol;
    QString title;  // may hold a line break
    QString explanation;
    QStringList reassurances;
    QString primaryTitle;
    std::function<void()> onPrimary;
    std::function<void()> onDismiss;

    bool hasPrimary() const { return !primaryTitle.isEmpty(); }

    // For a session without an X11 display, where capture cannot work at all.
    static PermissionPanel accessibility(const QString& captureChord, std::function<void()> onOpen,
                                         std::function<void()> onDismiss);
    // For a desktop without a notification service; the primary button only when a settings program
    // exists.
    static PermissionPanel notifications(bool canOpenSettings, std::function<void()> onOpen,
                                         std::function<void()> onDismiss);
};

// The view of one panel: a small application-modal dialog. Return presses the primary button (or
// "OK"), Escape or closing the window means "Not now". However it closes, the keyboard goes back to
// the window given with giveKeyboardBackTo.
class PermissionPanelView : public QDialog {
    Q_OBJECT
public:
    explicit PermissionPanelView(const PermissionPanel& panel, QWidget* parent = nullptr);

    void giveKeyboardBackTo(QWidget* window) { m_giveBack.capture(window); }
    void done(int result) override;

private:
    FocusReturn m_giveBack;
};

class PermissionPresenter {
public:
    using Closure = std::function<void()>;
    using Builder = std::function<PermissionPanel(Closure onOpen, Closure onDismiss)>;

    // Shows the built panel modally and returns true when the primary button was pressed. Called while
    // a panel is already up, it brings that one forward and returns false.
    static bool run(const Builder& builder);
    // The panel up now, if any.
    static PermissionPanelView* current();
};

namespace AccessibilityPermission {
// Explains, only where the session cannot capture (no X11 display), why capture does nothing. There
// is nothing to open on Linux. True when a panel was shown.
bool explainAndOpenSettings(const PermissionAudit::Probes& probes);
}  // namespace AccessibilityPermission

namespace NotificationPermission {
// Explains, only where no notification service runs, why reminders will not appear; offers the
// desktop's notification settings when it has such a program.
void explainAndOpenSettings(const PermissionAudit::Probes& probes);
}  // namespace NotificationPermission
