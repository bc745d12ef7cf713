#pragma once

#include <QPushButton>

// A button in the link style: its title in the colour it is given, no bezel. The keyboard's focus ring
// goes round the title, in room the button keeps around it, so it never crosses a letter.
class LinkButton : public QPushButton {
public:
    explicit LinkButton(const QString& title, QWidget* parent = nullptr);

    // Between the button's edge and its title: the ring's width and a little air.
    static constexpr int kRoomAcross = 3;
    static constexpr int kRoomAbove = 3;

protected:
    void paintEvent(QPaintEvent* event) override;
};
