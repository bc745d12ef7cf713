#include "capture/CaptureCapsuleModel.h"

#include <algorithm>

#include "design/TarnwickTheme.h"

CaptureCapsuleModel::CaptureCapsuleModel(qint64 nowMs, QObject* parent)
    : QObject(parent),
      m_symbol(QStringLiteral("text.viewfinder")),
      m_tint(TarnwickTheme::OnInkTint::accent()),
      m_shownAtMs(nowMs)
{
}

namespace {
template <typename T>
bool assign(T& field, const T& value)
{
    if (field == value) return false;
    field = value;
    return true;
}
}  // namespace

// clang-format off
void CaptureCapsuleModel::setMessage(const QString& v) { if (assign(m_message, v)) Q_EMIT changed(); }
void CaptureCapsuleModel::setDetail(const std::optional<QString>& v) { if (assign(m_detail, v)) Q_EMIT changed(); }
void CaptureCapsuleModel::setSymbol(const QString& v) { if (assign(m_symbol, v)) Q_EMIT changed(); }
void CaptureCapsuleModel::setTint(const QColor& v) { if (assign(m_tint, v)) Q_EMIT changed(); }
void CaptureCapsuleModel::setShownAtMs(qint64 v) { if (assign(m_shownAtMs, v)) Q_EMIT changed(); }
void CaptureCapsuleModel::setPausedAtMs(const std::optional<qint64>& v) { if (assign(m_pausedAtMs, v)) Q_EMIT changed(); }
void CaptureCapsuleModel::setShowsOpenAffordance(bool v) { if (assign(m_showsOpenAffordance, v)) Q_EMIT changed(); }
void CaptureCapsuleModel::setShowsUndo(bool v) { if (assign(m_showsUndo, v)) Q_EMIT changed(); }
void CaptureCapsuleModel::setDuration(double v) { if (assign(m_duration, v)) Q_EMIT changed(); }
// clang-format on

double CaptureCapsuleModel::remainingFraction(qint64 nowMs) const
{
    const qint64 t = m_pausedAtMs.value_or(nowMs);
    if (m_duration <= 0) return 0;
    return std::max(0.0, 1.0 - double(t - m_shownAtMs) / 1000.0 / m_duration);
}
