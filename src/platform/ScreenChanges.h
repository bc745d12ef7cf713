#pragma once

#include <QObject>
#include <functional>

// Calls `changed` after a screen was added or removed, or changed its geometry or its work area (a
// panel's strut came or went). The screens send several of these for one change, often in one turn
// of the event loop: they fold into one call, made on the next turn. Nothing is called once
// `context` is gone.
namespace ScreenChanges {

void watch(QObject* context, std::function<void()> changed);

}  // namespace ScreenChanges
