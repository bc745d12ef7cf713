#include "capture/CaptureCapsuleController.h"

#include <QPointer>
#include <algorithm>

#include "design/TarnwickTheme.h"

CaptureCapsuleController::CaptureCapsuleController(Clock& clock, SurfaceFactory makeSurface,
                                                   std::function<bool()> reduceMotion, QObject* parent)
    : QObject(parent),
      m_clock(clock),
      m_makeSurface(std::move(makeSurface)),
      m_reduceMotion(std::move(reduceMotion)),
      m_model(clock.elapsedMs())
{
}

CaptureCapsuleController::~CaptureCapsuleController()
{
    m_dismissTimer.cancel();
    if (m_surface) m_surface->setKeyMonitor(false);
}

void CaptureCapsuleController::show(const Kind& kind, std::function<void()> onUndo, std::function<void()> onOpen)
{
    m_onUndo = std::move(onUndo);
    m_onOpen = std::move(onOpen);
    switch (kind.type) {
        case Kind::deleted:
            m_model.setMessage(kind.message + QStringLiteral(" deleted"));
            m_model.setDetail(std::nullopt);
            m_model.setSymbol(QStringLiteral("trash"));
            m_model.setTint(TarnwickTheme::onInk());
            m_model.setDuration(2);
            break;
        case Kind::warning:
            m_model.setMessage(kind.message);
            m_model.setDetail(kind.detail);
            m_model.setSymbol(QStringLiteral("exclamationmark.triangle.fill"));
            m_model.setTint(TarnwickTheme::OnInkTint::caution());
            m_model.setDuration(4);
            break;
        case Kind::captured:
            m_model.setMessage(QStringLiteral("Text captured"));
            m_model.setDetail(std::nullopt);
            m_model.setSymbol(QStringLiteral("text.viewfinder"));
            m_model.setTint(TarnwickTheme::onInk());
            m_model.setDuration(2);
            break;
    }
    m_model.setShownAtMs(m_clock.elapsedMs());
    m_model.setPausedAtMs(std::nullopt);
    m_model.setShowsOpenAffordance(bool(m_onOpen));
    m_model.setShowsUndo(kind.type != Kind::warning);

    ++m_generation;
    m_showing = true;
    if (!m_surface && m_makeSurface) m_surface = m_makeSurface(*this);
    if (m_surface) {
        m_surface->present(m_reduceMotion && m_reduceMotion());
        m_surface->setKeyMonitor(true);
    }
    scheduleDismiss(m_model.duration());
}

void CaptureCapsuleController::scheduleDismiss(double seconds)
{
    m_dismissTimer.cancel();
    QPointer<CaptureCapsuleController> self(this);
    m_dismissTimer = m_clock.after(qint64(seconds * 1000 + 0.5), this, [self] {
        if (self) self->dismiss();
    });
}

void CaptureCapsuleController::dismiss()
{
    m_dismissTimer.cancel();
    m_showing = false;
    if (!m_surface) return;
    m_surface->setKeyMonitor(false);
    const quint64 generation = m_generation;
    QPointer<CaptureCapsuleController> self(this);
    m_surface->fadeOut(m_reduceMotion && m_reduceMotion(), [self, generation] {
        if (self && self->m_surface && self->m_generation == generation && !self->m_showing)
            self->m_surface->orderOut();
    });
}

void CaptureCapsuleController::undoAction()
{
    const auto undo = std::exchange(m_onUndo, nullptr);
    const quint64 generation = m_generation;
    if (undo) undo();
    // An undo that could not be done says so in a capsule of its own, which stays up to be read.
    if (m_generation == generation) dismiss();
}

void CaptureCapsuleController::openAction()
{
    if (m_onOpen) {
        const auto open = m_onOpen;
        open();
    }
    dismiss();
}

void CaptureCapsuleController::hoverChanged(bool inside)
{
    const qint64 now = m_clock.elapsedMs();
    if (inside) {
        if (!m_showing) return;
        m_model.setPausedAtMs(now);
        m_dismissTimer.cancel();
        return;
    }
    const std::optional<qint64> pausedAt = m_model.pausedAtMs();
    if (!pausedAt) return;
    m_model.setShownAtMs(m_model.shownAtMs() + (now - *pausedAt));
    m_model.setPausedAtMs(std::nullopt);
    scheduleDismiss(std::max(m_model.remainingFraction(now) * m_model.duration(), 0.1));
}

bool CaptureCapsuleController::handleKey(int key, Qt::KeyboardModifiers modifiers)
{
    if (!m_showing) return false;
    if ((modifiers & Qt::ControlModifier) && key == Qt::Key_Z) {
        undoAction();
        return true;
    }
    if (key == Qt::Key_Escape) {
        dismiss();
        return true;
    }
    return false;
}
