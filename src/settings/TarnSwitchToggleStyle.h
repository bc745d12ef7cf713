#pragma once

#include <QAbstractButton>

class QLabel;

// The small switch of the settings pages: a rounded track, accent when on, with a white knob.
// Space toggles it when it has the focus; disabled it is drawn faded and cannot change.
class TarnSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit TarnSwitch(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The settings toggle: a label column on the left (a title, optionally a caption under it, 2 px
// apart) taking the width the switch leaves, and the switch at the trailing edge, 16 px away.
class TarnSwitchToggleStyle : public QWidget {
    Q_OBJECT
public:
    TarnSwitchToggleStyle(const QString& title, const QString& subtitle = {}, QWidget* parent = nullptr);
    // A row whose label is built by the caller (for a title with a badge beside it).
    TarnSwitchToggleStyle(QWidget* label, QWidget* parent = nullptr);

    TarnSwitch* toggle() const { return m_switch; }
    QLabel* title() const { return m_title; }
    QLabel* subtitle() const { return m_subtitle; }

private:
    void build(QWidget* label);

    TarnSwitch* m_switch = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_subtitle = nullptr;
};
