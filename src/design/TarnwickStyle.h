#pragma once

#include <QProxyStyle>

#include "design/ButtonLook.h"

class Clock;
class QPainter;
class QStyleOptionButton;
class QStyleOptionComboBox;

// The one look of every Tarnwick window, over the colour and type tokens: set on the application at
// launch, so stock widgets (push buttons, tooltips, menus, sliders, check boxes, combo popups, fields,
// scroll areas) read as the designed parts beside them. Widgets that paint themselves keep their own
// look; the helpers below let them draw the shared pieces (focus ring, switch) the same way.
class TarnwickStyle : public QProxyStyle {
public:
    // `clock` drives the overlay scroll bars it puts on scroll areas.
    explicit TarnwickStyle(Clock& clock);

    // Sets this style, the token palette and the tooltip palette on the running application.
    static void install(Clock& clock);

    // A push button's look: a default button is the primary (accent) button; a flat one is the quiet
    // button; any other is the quiet button on a resting fill, so it still reads as a button in a row.
    static ButtonLook pushButtonLook(const QStyleOptionButton& option, bool pressed);
    static constexpr int kPushButtonHeight = 32;
    static constexpr int kPushButtonRadius = 9;

    // The keyboard focus ring: two pixels of the accent just outside `rect`.
    static void drawFocusRing(QPainter& painter, const QRectF& rect, qreal radius);
    static QColor focusRingColor();
    static constexpr qreal kFocusRingWidth = 2;

    // The switch that stands for every check box: a rounded track, the accent when on, with a white knob.
    static void drawSwitch(QPainter& painter, const QRectF& track, bool on, bool enabled, bool focused);
    // The track of a switch that is off: dark enough to read as a control (3:1) against the cards.
    static QColor switchOffTrack();
    static constexpr int kSwitchWidth = 30;
    static constexpr int kSwitchHeight = 17;

    // Tooltips: raised paper with primary text.
    static QPalette toolTipPalette();

    void polish(QWidget* widget) override;
    void polish(QPalette& palette) override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
    // Message boxes show our own symbols, not the toolkit's stock bubbles.
    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;

private:
    void drawMenuItem(const QStyleOption* option, QPainter* painter, const QWidget* widget) const;
    void drawSlider(const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const;
    void drawComboBox(const QStyleOptionComboBox& combo, QPainter* painter, const QWidget* widget) const;

    Clock& m_clock;
};
