#pragma once

#include <QPushButton>
#include <variant>

#include "design/TarnwickPrimaryButtonStyle.h"
#include "design/TarnwickQuietButtonStyle.h"

class QVariantAnimation;

// A push button drawn in one of the two shared styles. The style decides the look; this widget only
// tracks the pressed and enabled states, eases between looks and paints.
class TarnwickButton : public QPushButton {
    Q_OBJECT
public:
    explicit TarnwickButton(const QString& text, QWidget* parent = nullptr);

    void setPrimaryStyle(const TarnwickPrimaryButtonStyle& style);
    void setQuietStyle(const TarnwickQuietButtonStyle& style);

    // The look drawn right now (between the resting and pressed looks while the press animates).
    ButtonLook currentLook() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    ButtonLook lookFor(bool pressed) const;
    void applyGeometry();
    void pressedChanged(bool pressed);

    std::variant<TarnwickPrimaryButtonStyle, TarnwickQuietButtonStyle> m_style;
    QVariantAnimation* m_press = nullptr;
    qreal m_pressProgress = 0;  // 0 resting, 1 pressed
};
