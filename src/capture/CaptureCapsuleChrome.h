#pragma once

#include <QColor>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

class CaptureCapsuleModel;
class Clock;
class QLabel;
class CapsuleUndoWell;

// The capsule's pill: a round glyph, the message and an optional detail line (plain text, never cut
// short: the pill widens), an optional Undo element, and a countdown bar along the bottom edge that
// drains from right to left. Fed live from the capsule's model or with a still fill.
class CaptureCapsuleChrome : public QWidget {
    Q_OBJECT
public:
    enum class Backing { vibrant, solid };
    struct Countdown {
        const CaptureCapsuleModel* live = nullptr;  // with its clock
        const Clock* clock = nullptr;
        double still = 0;
        static Countdown ofModel(const CaptureCapsuleModel& model, const Clock& clock) { return {&model, &clock, 0}; }
        static Countdown fixed(double fraction) { return {nullptr, nullptr, fraction}; }
    };
    struct Content {
        QString message;
        std::optional<QString> detail;
        QString symbol;
        QColor tint;
        Countdown countdown;
        Backing backing = Backing::vibrant;
        std::function<void()> onUndo;  // without it the Undo label is a still picture
        bool showsUndo = true;
    };

    static constexpr int kLeading = 11, kVertical = 8, kSpacing = 9, kGlyph = 22;
    static constexpr double kBarHeight = 2.5;

    explicit CaptureCapsuleChrome(Content content, QWidget* parent = nullptr);

    const Content& content() const { return m_content; }
    int trailingPadding() const { return m_content.showsUndo ? 6 : 14; }
    // The share of the bar that is filled now; the bar, track included, shows only above 0.
    double barFraction() const;
    bool hasUndoElement() const;
    // Whether a point (in this widget) is on the Undo element, which takes its own clicks.
    bool isOnUndo(const QPoint& point) const;
    // The pill's outline in this widget's coordinates.
    QPainterPath outline() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    Content m_content;
    CapsuleUndoWell* m_undo = nullptr;
    QTimer m_frames;
};
