#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

#include "app/CaptureActions.h"

class CaptureCapsuleController;
class CapturePeekController;
class FloatingNotesManager;

// The capture's windows and the shell's capture actions, made once at launch over the services: the
// capsule (also the note deck's removal toast), the peek card, and the dispatcher the hot keys and
// the bus road call.
class CaptureWiring : public QObject {
    Q_OBJECT
public:
    CaptureWiring(NoteStore& store, CaptureService& capture, FloatingNotesManager& floating, Settings& settings,
                  Clock& clock, QObject* parent = nullptr);
    ~CaptureWiring() override;

    CaptureCapsuleController& capsule() const { return *m_capsule; }
    CapturePeekController& peek() const { return *m_peek; }
    CaptureActions& actions() const { return *m_actions; }

private:
    std::unique_ptr<CaptureCapsuleController> m_capsule;
    std::unique_ptr<CapturePeekController> m_peek;
    std::unique_ptr<CaptureActions> m_actions;
};
