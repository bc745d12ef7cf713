#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <optional>

class QScreen;

// The screen the user works on, where a card or a confirmation we show now belongs: the one holding the
// window that has the keyboard (ours, or another application's as the window manager names it), and
// the one under the pointer only when no window has the keyboard. With two monitors the pointer often
// rests on one while the keys go to the other.
namespace KeyScreen {

// The index in `screens` of the screen holding the largest part of `keyWindow`; the pointer's screen
// when there is no key window, when it lies on no screen, or when it lies evenly across several of
// them, the pointer's among them (a desktop window spanning every monitor); -1 when none of these
// answers. All in one coordinate space.
int choose(const QList<QRect>& screens, const std::optional<QRect>& keyWindow, QPoint pointer);

// The screen for a window shown now, by choose(); the primary screen when nothing answers, null
// without screens.
QScreen* current();

}  // namespace KeyScreen
