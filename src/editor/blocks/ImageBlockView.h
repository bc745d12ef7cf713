#pragma once

#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <optional>

#include "editor/BlockView.h"
#include "editor/blocks/ImageBlockLayout.h"

class BlockContainer;
class ImageBlockController;
class QMenu;

// The widget of one picture block: draws the picture with its outline and corner handle, turns presses
// on the resize zones into a resize gesture, answers the picture keys, copy, cut and paste, the context
// menu and the double click that opens the preview. What it decides lives in the controller and layout.
class ImageBlockView : public QWidget, public BlockView {
    Q_OBJECT

public:
    ImageBlockView(ImageBlockController& controller, BlockContainer& container, QWidget* parent = nullptr);
    ~ImageBlockView() override;

    // The widget reaches this far beyond its block on either side: the outline is drawn just outside the
    // picture, which starts at the block's left edge and may end at its right one.
    static constexpr int bleed = 2;

    // Where the picture is drawn, in this widget's coordinates.
    QRectF imageRect() const;
    std::optional<QRectF> overlayTarget() const;
    // The picture holds its window's keyboard focus, whether or not that window is the active one.
    bool isSelected() const;
    ImageBlockController& controller() { return m_controller; }

    void copyPicture();
    void cutPicture();
    void pastePictures();
    QMenu* createMenu();
    void openPreview();

    // BlockView
    void detach() override;
    int horizontalBleed() const override { return bleed; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The width of the block: the widget's without its bleed.
    qreal blockWidth() const { return std::max(0, width() - 2 * bleed); }
    void updateCursor(QPointF point);
    void endGesture(bool commit);

    ImageBlockController& m_controller;
    QPointer<BlockContainer> m_container;
    std::optional<ImageBlockLayout::ResizeGesture> m_gesture;
    bool m_hovering = false;
};
