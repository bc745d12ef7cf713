#include "app/CaptureWiring.h"

#include "capture/CaptureCapsuleController.h"
#include "capture/CaptureCapsuleView.h"
#include "capture/CapturePeekController.h"
#include "platform/X11Desktop.h"
#include "windows/FloatingNotesManager.h"

CaptureWiring::CaptureWiring(NoteStore& store, CaptureService& capture, FloatingNotesManager& floating,
                             Settings& settings, Clock& clock, QObject* parent)
    : QObject(parent)
{
    m_capsule = std::make_unique<CaptureCapsuleController>(
        clock, [](CaptureCapsuleController& c) { return std::make_unique<CaptureCapsuleView>(c); },
        [] { return X11Desktop::reduceMotion(); });
    m_peek = std::make_unique<CapturePeekController>(store, clock);

    QPointer<FloatingNotesManager> windows(&floating);
    CaptureActions::Hooks hooks;
    hooks.showNote = [windows](const QUuid& id) {
        if (windows) windows->show(id);
    };
    hooks.toggleHideAll = [windows] {
        if (!windows) return;
        if (windows->isHidden())
            windows->restoreAll();
        else
            windows->hideAll();
    };
    QPointer<CapturePeekController> peek(m_peek.get());
    hooks.openPeek = [peek](const QUuid& id) {
        if (peek) peek->present(id);
    };
    m_actions = std::make_unique<CaptureActions>(store, capture, *m_capsule, settings, std::move(hooks));

    // The one-note-at-a-time deck confirms an empty note it removed with the same capsule.
    QPointer<CaptureCapsuleController> capsule(m_capsule.get());
    floating.setEmptyNoteToast([capsule](const QString& name, std::function<void()> undo) {
        if (capsule) capsule->show(CaptureCapsuleController::Kind::deletedItem(name), std::move(undo));
    });
}

CaptureWiring::~CaptureWiring() = default;
