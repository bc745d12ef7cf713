#pragma once

#include <QImage>
#include <QPointer>
#include <QVector>
#include <optional>

#include "design/Tween.h"
#include "note/NoteBody.h"
#include "note/NotePopovers.h"
#include "note/NoteViewModel.h"
#include "windows/DeckRootView.h"

class QAbstractButton;
class QLabel;
class QLineEdit;
class QToolButton;
class SyncStatusView;

// The view of one note in a note window: the paper (and wallpaper) at the window's opacity, the title
// strip and head row with the window dots and the opacity and lock buttons, the format row, the locked
// title of a redacted note, the body slot or the lock panel, the character count, the resize grip, the
// bottom edge and the context menu. It only translates events and paints; NoteViewModel decides.
class NoteView : public DeckCard {
    Q_OBJECT
public:
    static constexpr int headHeight = 30;
    static constexpr int stripHeight = 48;
    static constexpr int formatRowHeight = 30;
    static constexpr int gutter = 8;
    // How long the window takes to look active or inactive.
    static constexpr int kActiveMs = 180;
    static constexpr int kRolledMs = 200;

    NoteView(NoteStore& store, UnlockSession& unlock, NoteViewModel::Reminders reminders,
             NoteViewModel::CanAuthenticate canAuthenticate, Clock& clock, NoteBodyFactory makeBody, bool translucent,
             QWidget* parent = nullptr);
    ~NoteView() override;

    // DeckCard
    void setNote(Note* note) override;
    void setActive(bool active) override;
    void changeActive(bool active, int animationMs) override;
    void setWindowOpacity(double opacity) override;
    void setRolled(bool rolled) override;
    bool showFindBar() override;

    NoteViewModel& model() { return m_model; }
    const Tween& activeness() const { return m_activeness; }
    // 1 while the content is drawn in full, 0 once it has rolled away.
    const Tween& unrolling() const { return m_unrolling; }
    // The view is being destroyed: late requests (a screen reader's action) are ignored.
    bool isTornDown() const { return m_tornDown; }
    NoteBody* body() const { return m_body; }
    OpacityPopover* opacityPopover() const { return m_opacityPopover; }
    NotePopover* palettePopover() const { return m_palettePopover; }
    // Makes the design popover of a note under the design button; without one the button opens nothing.
    using PaletteFactory = std::function<NotePopover*(Note& note, QWidget* anchor)>;
    void setPaletteFactory(PaletteFactory makePalette);
    ReminderPopover* reminderPopover() const { return m_reminderPopover; }
    NotePopover* shortcutsPopover() const { return m_shortcutsPopover; }
    // The context menu as it would open at `pos` (tests read its actions). The caller owns it.
    QMenu* buildContextMenu(const QPoint& pos);
    // The head row's controls in their order (dots, then opacity, lock and design), and whether one of
    // them has the keyboard (F6 took it there).
    QList<QToolButton*> headButtons() const;
    bool headRowHasFocus() const;
    // How many times the wallpaper was processed (brightened and blurred) since construction.
    int wallpaperRenders() const { return m_wallpaperRenders; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void refresh();
    void relayout();
    QList<QToolButton*> reachableHeadButtons() const;
    void enterHeadRow();
    void leaveHeadRow();
    void applyTheme();
    void styleUnlockButton(const QColor& ink);
    void showOpacityPopover(bool show);
    void showReminderPopover(bool show);
    void showPalettePopover(bool show);
    void showShortcutsPopover();
    // The format row's height as drawn now (it opens and closes with the window's activity).
    int formatRowHeightNow() const;
    bool formatButtonsShown() const;
    void drawGrip();
    void drawActiveness();
    void drawRolling();
    const QImage* wallpaperImage();

    NoteStore& m_store;
    NoteViewModel m_model;
    Tween m_activeness;          // 1 drawn active, 0 drawn inactive
    Tween m_unrolling;           // 1 content drawn, 0 rolled up
    int m_activeMs = kActiveMs;  // the duration of the activity change under way
    bool m_translucent;
    QToolButton* m_dots[3] = {};
    QToolButton* m_opacityButton = nullptr;
    QToolButton* m_lockButton = nullptr;
    QToolButton* m_paletteButton = nullptr;
    QVector<QToolButton*> m_formatButtons;
    QWidget* m_formatDivider = nullptr;
    QLineEdit* m_lockedTitle = nullptr;
    QLineEdit* m_rolledTitle = nullptr;
    NoteBody* m_body = nullptr;
    QWidget* m_lockPanel = nullptr;
    QLabel* m_lockedLine = nullptr;
    QLabel* m_lockAuthLine = nullptr;
    QLabel* m_lockFailure = nullptr;
    QToolButton* m_unlockButton = nullptr;
    QColor m_unlockInk;  // the Unlock label's colour on this note's paper
    QLabel* m_count = nullptr;
    QLabel* m_notice = nullptr;
    QWidget* m_grip = nullptr;
    SyncStatusView* m_syncBadge = nullptr;
    QWidget* m_veil = nullptr;
    QWidget* m_contentVeil = nullptr;
    QPointer<OpacityPopover> m_opacityPopover;
    QPointer<ReminderPopover> m_reminderPopover;
    QPointer<NotePopover> m_palettePopover;
    QPointer<NotePopover> m_shortcutsPopover;
    QPointer<QWidget> m_headReturn;  // where F6 or Escape gives the keyboard back from the head row
    QPoint m_menuAnchor;             // where the last note menu was opened, in this view
    PaletteFactory m_makePalette;
    std::optional<QPointF> m_stripPress;
    bool m_stripDragging = false;
    quint32 m_appliedThemeRevision = ~0u;
    QString m_lockIconKey;
    bool m_tornDown = false;

    struct WallpaperRender {
        QString key;
        QImage image;
    } m_wallpaper;
    int m_wallpaperRenders = 0;
};
