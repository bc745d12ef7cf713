#pragma once

#include <QWidget>

// A frameless floating panel that still takes keyboard focus when shown, so its text fields and key
// handlers work over another application. The shelf, the capture peek, the approval card and the
// onboarding panel are made as keyable panels.
class KeyablePanel : public QWidget {
    Q_OBJECT
public:
    explicit KeyablePanel(QWidget* parent = nullptr, Qt::WindowFlags extraFlags = {});

    // Shows the panel, raises it and gives it keyboard focus.
    void showAndFocus();
};
