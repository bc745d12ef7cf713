#pragma once

#include <QColor>
#include <QString>
#include <QUuid>
#include <array>

class NotificationCenter;

// The state of the opacity popover of one note window: the value shown and chosen. Every change of the
// value, whatever made it, posts `tarnwickOpacityChanged` once with the note's UUID and "value"; the
// shell applies it to that window only. Nothing is written to the note. Main thread only.
class OpacityPopoverModel {
public:
    static constexpr std::array<double, 4> presets{1.0, 0.7, 0.45, 0.2};
    static constexpr double minimum = 0.1;
    static constexpr double maximum = 1.0;
    // The slider works in per mille, so 0.455 survives a round trip.
    static constexpr int sliderMinimum = 100;
    static constexpr int sliderMaximum = 1000;

    // Each new value is announced on `notifications`.
    OpacityPopoverModel(const QUuid& noteID, NotificationCenter& notifications)
        : m_noteID(noteID), m_notifications(notifications)
    {
    }

    // The popover appears, or its input changes while shown: the value becomes the window's opacity.
    void show(double windowOpacity);
    // The slider or a preset; held within 0.1...1.0, non-finite values ignored.
    void setValue(double value);
    double value() const { return m_value; }

    int sliderPosition() const;
    void setSliderPosition(int perMille);

    // "70%", and "70 percent" for assistive technology.
    QString headerText() const;
    QString accessibleValue() const;
    static QString presetLabel(double preset);    // "45"
    static QString presetToolTip(double preset);  // "45 percent"
    // The swatches' fixed paper tone, the same for every note.
    static QColor stepPaper();

private:
    QUuid m_noteID;
    NotificationCenter& m_notifications;
    double m_value = 1.0;
};
