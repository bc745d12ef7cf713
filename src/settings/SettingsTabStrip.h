#pragma once

#include <QToolButton>
#include <QWidget>

// The settings window's row of tabs, seen by assistive tools as a page tab list whose page tabs carry
// the selected state (a checkable tool button would read as a check box).
class SettingsTabStrip : public QWidget {
    Q_OBJECT
public:
    explicit SettingsTabStrip(QWidget* parent = nullptr);
};

// One tab of the strip.
class SettingsTabButton : public QToolButton {
    Q_OBJECT
public:
    explicit SettingsTabButton(QWidget* parent = nullptr);
};
