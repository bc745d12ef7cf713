#pragma once

#include <QColor>
#include <QWidget>
#include <functional>
#include <optional>

#include "store/SyncState.h"

class QLabel;
class QPushButton;
class QVariantAnimation;

// The small sync badge at the end of a note's footer: the state's symbol, its text in the caption
// font and, in the error state when a retry action is given, a "retry" link; all in the state's
// colour. While syncing, the symbol turns once a second. A screen reader meets it as one piece of
// text, named by the state's text (the retry link, while shown, is its one control).
class SyncStatusView : public QWidget {
    Q_OBJECT
public:
    explicit SyncStatusView(SyncState state, std::function<void()> onRetry = {}, QWidget* parent = nullptr);

    SyncState state() const { return m_state; }
    // The owner passes every new state of the store here.
    void setState(SyncState state);
    void setOnRetry(std::function<void()> onRetry);
    // What the badge stands on: its colour is moved toward black or white only as far as it takes to
    // read there. Without a ground it wears the state's own colour.
    void setGround(const QColor& ground);
    // The colour the symbol, the text and the link are drawn in now.
    QColor color() const { return m_color; }

    bool isSpinning() const { return m_spin; }
    // The symbol's current rotation in degrees.
    qreal iconAngle() const { return m_angle; }
    // Present only in the error state with a retry action.
    QPushButton* retryButton() const { return m_retry; }
    QLabel* textLabel() const { return m_text; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();
    void setSpin(bool spin);

    SyncState m_state;
    std::function<void()> m_onRetry;
    std::optional<QColor> m_ground;
    QColor m_color;
    bool m_spin = false;
    qreal m_angle = 0;
    QWidget* m_icon;
    QLabel* m_text;
    QPushButton* m_retry;
    QVariantAnimation* m_rotation;
};
