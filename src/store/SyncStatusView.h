#pragma once

#include <QWidget>
#include <functional>

#include "store/SyncState.h"

class QLabel;
class QPushButton;
class QVariantAnimation;

// The small sync badge at the end of a note's footer: the state's symbol, its text in the caption
// font and, in the error state when a retry action is given, a "retry" link; all in the state's
// colour. While syncing, the symbol turns once a second.
class SyncStatusView : public QWidget {
    Q_OBJECT
public:
    explicit SyncStatusView(SyncState state, std::function<void()> onRetry = {}, QWidget* parent = nullptr);

    SyncState state() const { return m_state; }
    // The owner passes every new state of the store here.
    void setState(SyncState state);
    void setOnRetry(std::function<void()> onRetry);

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
    bool m_spin = false;
    qreal m_angle = 0;
    QWidget* m_icon;
    QLabel* m_text;
    QPushButton* m_retry;
    QVariantAnimation* m_rotation;
};
