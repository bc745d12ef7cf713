#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include "model/ResolvedNoteTheme.h"
#include "themes/ThemeEditorView.h"

class Note;
class NoteStore;
class Settings;

// The application's one theme window, titled "Theme": made on the first request and kept. Each
// request replaces its content with a fresh editor; Save and Delete Theme hide it, and it gives the
// keyboard back to the window of ours it was opened from however it goes; it hides while the
// application is in the background and comes back, without taking the focus, when it returns.
class ThemeWindowController : public QObject {
    Q_OBJECT
public:
    static constexpr int kScreenMargin = 24;  // kept free above and below a window grown to fit its form
    ThemeWindowController(NoteStore& store, Settings& settings, QObject* parent = nullptr);
    ~ThemeWindowController() override;

    // Edits the theme with the id; the saved theme is given to `applyTo` when there is one.
    void show(const QString& editing, Note* applyTo);
    // Makes a new theme starting from `basedOn`.
    void showNew(const ResolvedNoteTheme& basedOn, Note* applyTo);

    // The window, once made.
    QWidget* window() const { return m_window; }
    ThemeEditorView* editorView() const { return m_view; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void present(ThemeEditor editor);
    void finish();
    void applicationStateChanged(Qt::ApplicationState state);

    NoteStore& m_store;
    Settings& m_settings;
    QPointer<QWidget> m_window;
    QPointer<ThemeEditorView> m_view;
    bool m_hiddenInBackground = false;
    QPoint m_place;
    bool m_placed = false;
    QPointer<QWindow> m_returnFocusTo;
    QElapsedTimer m_returnFocusUntil;
};
