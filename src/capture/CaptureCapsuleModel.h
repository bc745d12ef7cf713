#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <optional>

// What the capsule shows and how far its countdown has run. Times are milliseconds on the injected
// clock's boot-time scale. Every setter signals only a real change.
class CaptureCapsuleModel : public QObject {
    Q_OBJECT
public:
    explicit CaptureCapsuleModel(qint64 nowMs, QObject* parent = nullptr);

    QString message() const { return m_message; }
    std::optional<QString> detail() const { return m_detail; }
    QString symbol() const { return m_symbol; }
    QColor tint() const { return m_tint; }
    qint64 shownAtMs() const { return m_shownAtMs; }
    std::optional<qint64> pausedAtMs() const { return m_pausedAtMs; }
    bool showsOpenAffordance() const { return m_showsOpenAffordance; }
    bool showsUndo() const { return m_showsUndo; }
    double duration() const { return m_duration; }

    void setMessage(const QString& v);
    void setDetail(const std::optional<QString>& v);
    void setSymbol(const QString& v);
    void setTint(const QColor& v);
    void setShownAtMs(qint64 v);
    void setPausedAtMs(const std::optional<qint64>& v);
    void setShowsOpenAffordance(bool v);
    void setShowsUndo(bool v);
    void setDuration(double v);

    // The share of the countdown still to run, 0 to 1; constant while paused.
    double remainingFraction(qint64 nowMs) const;

Q_SIGNALS:
    void changed();

private:
    QString m_message;
    std::optional<QString> m_detail;
    QString m_symbol;
    QColor m_tint;
    qint64 m_shownAtMs;
    std::optional<qint64> m_pausedAtMs;
    bool m_showsOpenAffordance = false;
    bool m_showsUndo = true;
    double m_duration = 2;
};
