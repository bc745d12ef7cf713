#pragma once

#include <QEasingCurve>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "platform/Clock.h"

class KeyPressSequence;
class QLabel;
class QVariantAnimation;
class Tween;

// A hot-key chord drawn as a row of keyboard keys joined by "+", pressed left to right when its
// sequence plays, with a check mark once the chord was used: the keys slide over to make room for it as
// it fades in, the row centred all the while. A row wider than the space it is given is drawn scaled
// down as a whole, never cut.
class OnboardingKeycap : public QWidget {
    Q_OBJECT
public:
    OnboardingKeycap(const QStringList& keys, const KeyPressSequence* sequence, bool reduceMotion = true,
                     QWidget* parent = nullptr);

    static constexpr qreal kSleepStaggerSeconds = 0.04, kSleepSeconds = 0.22, kEarnedSeconds = 0.16;
    // How far key `index` has gone over to its new state (0 to 1) this long after `asleep` changed: the
    // keys wake or fall asleep one after another from the left.
    static qreal keyChangeProgress(int index, qreal secondsSinceChange);
    // How asleep key `index` is drawn now: 0 awake, 1 asleep.
    qreal sleepiness(int index) const;

    void setEarned(bool earned);
    void setAsleep(bool asleep);
    // A row built anew for its page takes over from the one it replaces: from where the old row stood, its
    // keys slide over to make room for a check mark that the old row did not show yet, as it fades in.
    void continueFrom(const OnboardingKeycap& before);
    // How far the row stands drawn towards its earned layout: 0 without the check mark, 1 with it in full.
    qreal earnedShown() const;
    bool isEarned() const { return m_earned; }
    bool isAsleep() const { return m_asleep; }
    QStringList keys() const { return m_keys; }

    // The row at full size, and the factor it is drawn at in the present width (at most 1).
    QSize naturalSize() const;
    qreal scale() const;
    // Each key's rectangle in this widget, as drawn now (resting, without a press).
    QList<QRectF> keyRects() const;

    QSize sizeHint() const override { return naturalSize(); }
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // The drawing moved on by itself (the keys sliding or waking): a picture that draws the row live
    // repaints.
    void drawingChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static QEasingCurve tourCurve();
    void updateAccessibleName();
    QFont keyFont() const;
    QFont plusFont() const;
    // Widths of the items at full size: keys, pluses, then the check mark with its room before it.
    struct Metrics {
        QList<qreal> keyWidths;
        qreal plusWidth = 0;
        qreal keyHeight = 0;
        qreal keysWidth = 0;
        qreal checkWidth = 0;
        // The whole row with `shown` of the check mark's room.
        qreal width(qreal shown) const { return keysWidth + checkWidth * shown; }
    };
    Metrics metrics() const;
    // The factor a row `rowWidth` wide at full size is drawn at in the present width (at most 1).
    qreal scaleFor(qreal rowWidth) const;
    // Starts the keys sliding (and the check mark fading) towards the present `earned`.
    void glideToEarned();
    void redraw();

    QStringList m_keys;
    QPointer<const KeyPressSequence> m_sequence;
    bool m_reduceMotion = true;
    bool m_earned = false;
    bool m_asleep = false;
    QVariantAnimation* m_sleepChange = nullptr;  // seconds since `asleep` changed, while keys are changing
    // The press's clock, and how far the row stands drawn towards its earned layout on it (none without a
    // press: then changes of `earned` show at once).
    Clock* m_clock = nullptr;
    Tween* m_earnedShown = nullptr;
    TimerHandle m_glideStart;  // the slide waiting for its first turn
};

// The user's place among the tour's four hot-key screens: a row of short bars.
class OnboardingMarks : public QWidget {
    Q_OBJECT
public:
    OnboardingMarks(int index, int count, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    // The colour of bar i.
    QColor barColor(int i) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_index;
    int m_count;
};

// The quiet "listening" label under a hot-key screen's keys, its keyboard glyph breathing unless
// motion is reduced.
class OnboardingListening : public QWidget {
    Q_OBJECT
public:
    OnboardingListening(const QString& label, bool urgent, bool reduceMotion, QWidget* parent = nullptr);
    void setLabel(const QString& label, bool urgent);
    QString label() const { return m_label; }

private:
    void restyle();

    QString m_label;
    bool m_urgent = false;
    QLabel* m_glyph = nullptr;
    QLabel* m_text = nullptr;
    QVariantAnimation* m_breath = nullptr;
};
