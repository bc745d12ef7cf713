#pragma once

#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QUuid>
#include <functional>
#include <optional>

#include "capture/CaptureService.h"
#include "capture/HotkeyManager.h"
#include "capture/SourceHarvester.h"

class CaptureCapsuleController;
class QThread;
class NoteStore;
class Settings;

// The shell's side of the global hot keys and of captures: turns each hot-key action into its effect,
// runs the capture road (selection, then the capture service), turns every capture's outcome into one
// capsule, and takes text handed over on D-Bus. The window manager, the shelf and the peek are reached
// through hooks, so an action whose neighbour is missing in this build is known and left ungrabbed.
class CaptureActions : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(const QUuid& noteID)> showNote;     // open (or bring up) a note's window
        std::function<void()> toggleHideAll;                   // hide or restore all note windows
        std::function<void()> toggleShelf;                     // open or close the shelf
        std::function<void(const QUuid& captureID)> openPeek;  // preview a capture
        std::function<QString()> practiceSelection;            // the tour's practice text, if any
        // Explains why capture cannot read selections in this session (no selection service); asked
        // on the first capture of a session that fails for that reason.
        std::function<void()> explainCapture;
        // Brings a question of ours that waits for an answer (a modal dialog) to the front with the
        // keyboard; false when none waits.
        std::function<bool()> bringQuestionForward;
    };

    CaptureActions(NoteStore& store, CaptureService& capture, CaptureCapsuleController& capsule, Settings& settings,
                   Hooks hooks, QObject* parent = nullptr);
    ~CaptureActions() override;

    // The actions that do something in this build: only their chords are grabbed.
    QSet<HotkeyManager::Action> workingActions() const;
    // HotkeyManager::onAction. While a question waits, every action only brings it forward.
    void dispatch(HotkeyManager::Action action, quint32 modifiers);

    void handleNewNote();
    // Super (the stand-in for Command) held with the chord files the capture as a new note.
    void handleCapture(quint32 modifiers);
    // True while a selection or a handed-over text's source is read on its own thread; the hot key
    // pressed meanwhile is captured once the read ends.
    bool isReadingSelection() const { return m_reader != nullptr; }
    void presentCaptureResult(const CaptureService::Result& result);
    // What a text handed over came to; none for blank text.
    using ServiceReply = std::function<void(const std::optional<CaptureService::Result>& result)>;
    // Text handed over by another application (D-Bus CaptureText), filed with the source of the window
    // in front when it came. Where the reader allows, a browser's address is read on a thread of its
    // own (a browser may take a while to show its page) and `reply` comes later, within about
    // SourceHarvester::kBudgetMs of the call however many texts wait; blank text does nothing and is
    // answered at once.
    void handleServiceCapture(const QString& text, ServiceReply reply);
    // Reads the source of a handed-over text's window on the reading thread, by the deadline given; by
    // default SourceHarvester.
    using SourceRead =
        std::function<SourceHarvester::Source(const std::optional<ActiveWindow>& window, QDeadlineTimer deadline)>;
    void setSourceRead(SourceRead read) { m_sourceRead = std::move(read); }

    Hooks& hooks() { return m_hooks; }

private:
    NoteStore& m_store;
    CaptureService& m_capture;
    CaptureCapsuleController& m_capsule;
    Settings& m_settings;
    Hooks m_hooks;
    bool m_explainedCapture = false;
    QThread* m_reader = nullptr;
    SourceRead m_sourceRead;
    struct ServiceCapture {
        QString text;
        ServiceReply reply;
        QDeadlineTimer deadline;                        // kBudgetMs from the call's arrival: its source is read by then
        std::optional<ActiveWindow> window;             // in front when it came
        std::optional<SourceHarvester::Source> source;  // once read
    };
    QList<ServiceCapture> m_serviceCaptures;  // waiting to be filed, in arrival order
    // A capture hot key pressed during a read, with the modifiers of its latest press: run when it ends.
    std::optional<quint32> m_pendingCapture;

    void captureRead(const CaptureService::SelectionRead& context, bool asNewNote);
    void presentNotSaved();
    // Runs `work` on the reading thread, then `done` on this one.
    void startRead(std::function<void()> work, std::function<void()> done);
    // Starts what waited for the read that ended: handed-over texts first, then a pressed hot key.
    void startNext();
    void startServiceCapture();
    // Whether a question waits, brought forward now: a hot key then starts nothing behind it.
    bool questionBroughtForward();
    void fileServiceCapture(const QString& text, const SourceHarvester::Source& source, const ServiceReply& reply);
};
