#pragma once

#include <QVector>
#include <QWidget>
#include <functional>

#include "design/DoubleClickGuard.h"
#include "model/ResolvedNoteTheme.h"

// The grid of theme tiles with which a theme is chosen: a swatch of each theme's paper with "Aa" in
// its ink and font, its name under it, optionally led by a "Custom" tile. It keeps nothing of its
// own: the caller gives the themes and the selected id, and stores what onPick reports.
// All tiles are painted by this one widget, so a library of hundreds of themes stays cheap to
// rebuild and repaint.
class ThemeGrid : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinColumnWidth = 62;
    static constexpr int kSpacing = 10;
    static constexpr int kSwatchHeight = 34;

    explicit ThemeGrid(QWidget* parent = nullptr);
    ~ThemeGrid() override;

    void setThemes(const QVector<ResolvedNoteTheme>& themes);
    void setSelectedID(const QString& id);
    void setOnPick(std::function<void(const QString& id)> onPick);
    // Without one, tiles have no context menu.
    void setOnEdit(std::function<void(const QString& id)> onEdit);
    // Without one, there is no "Custom" tile.
    void setOnCreate(std::function<void()> onCreate);

    const QVector<ResolvedNoteTheme>& themes() const { return m_themes; }
    QString selectedID() const { return m_selectedID; }

    // Columns that fit `width`: as many of at least kMinColumnWidth as fit with the spacing, never
    // fewer than one.
    static int columnsFor(int width);
    int cellCount() const;
    bool hasCustomTile() const { return bool(m_onCreate); }
    // A cell's rectangle; cell 0 is the "Custom" tile when there is one.
    QRect cellRect(int cell) const;
    // The cell under `pos`, or -1.
    int cellAt(const QPoint& pos) const;
    // The theme index of a cell, or -1 for the "Custom" tile.
    int themeIndex(int cell) const { return cell - (hasCustomTile() ? 1 : 0); }
    QString toolTipFor(int cell) const;
    // What a click on the cell does: onPick with its theme's id, or onCreate.
    void activateCell(int cell);
    QString accessibleNameFor(int cell) const;
    // The cell the keyboard is on (the grid is one Tab stop; arrows move, Space picks), or -1.
    int currentCell() const { return m_currentCell; }
    void setCurrentCell(int cell);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int selectedCell() const;
    int cellHeight() const;
    void paintTheme(QPainter& p, const QRect& cell, const ResolvedNoteTheme& theme, const QFont& sample) const;
    void paintCustom(QPainter& p, const QRect& cell) const;
    void themesChanged();

    QVector<ResolvedNoteTheme> m_themes;
    QVector<QFont> m_sampleFonts;  // per theme, made once per setThemes
    QString m_selectedID;
    std::function<void(const QString&)> m_onPick;
    std::function<void(const QString&)> m_onEdit;
    std::function<void()> m_onCreate;
    DoubleClickGuard m_clicks;  // by cell: a change of the tiles forgets the press
    int m_currentCell = -1;
};
