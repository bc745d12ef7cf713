#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <functional>

#include "editor/BlockController.h"
#include "editor/BlockHost.h"
#include "editor/blocks/ImageBlockLayout.h"

class NoteImage;
class PictureCache;
class PreviewFiles;

// One picture of a note body. Its height comes from the stored pixel size (or the picture's header),
// never from decoding; the pixels are decoded only while the container says the block is near the
// visible area, and released again when it leaves it.
class ImageBlockController : public QObject, public BlockController {
    Q_OBJECT

public:
    using RowLookup = std::function<NoteImage*(const QUuid&)>;

    ImageBlockController(const QUuid& id, const ImagePlacement& placement, BlockHost* host, RowLookup rows,
                         PictureCache* cache, QObject* parent = nullptr);

    // BlockController
    QUuid id() const override { return m_id; }
    QWidget* view() const override { return m_view; }
    bool isFocused() const override { return m_focused; }
    bool matches(const NoteBlock& block) const override { return block.isImage(); }
    qreal heightForWidth(qreal width) override;
    void apply(const NoteBlock& block) override;
    NoteBlock snapshot() const override { return NoteBlock::image(m_placement, m_id); }
    void applyTheme(const ResolvedNoteTheme&, const std::optional<QColor>&) override {}
    void focus(const CaretPlacement& placement) override;

    const ImagePlacement& placement() const { return m_placement; }
    // Live resizes set the sizing without a write; the container does the rest.
    void setSizing(const ImageSizing& sizing) { m_placement.sizing = sizing; }
    QSizeF natural() const { return m_natural; }
    QSizeF displaySize(qreal paperWidth) const;
    NoteImage* row() const;

    // Near the visible area the pixels are held; away from it they are released.
    void setNearViewport(bool near);
    const QImage& image() const { return m_image; }

    // The file the in-app preview shows; none without bytes.
    std::optional<QString> previewFile(PreviewFiles& files);
    QString accessibilityDescription() const;
    static QString sizingName(const ImageSizing& sizing);

    // The view reports these.
    void setFocused(bool focused);
    // The view takes the keyboard focus.
    void setFocusTaker(std::function<void()> taker) { m_takeFocus = std::move(taker); }
    void setView(QWidget* view) { m_view = view; }
    BlockHost* host() const { return m_hostGuard ? m_host : nullptr; }

    // Picture keys: Return, Backspace, Delete, Escape and the arrows; nothing with Control held.
    bool handleKey(int key, Qt::KeyboardModifiers modifiers);

Q_SIGNALS:
    void pictureChanged();

private:
    void loadNatural();

    QUuid m_id;
    ImagePlacement m_placement;
    BlockHost* m_host;
    QPointer<QObject> m_hostGuard;
    RowLookup m_rows;
    PictureCache* m_cache;
    QWidget* m_view = nullptr;
    QSizeF m_natural;
    QImage m_image;
    bool m_near = false;
    bool m_focused = false;
    std::function<void()> m_takeFocus;
};
