#include "editor/blocks/ImageBlockController.h"

#include <cmath>

#include "editor/blocks/PictureCache.h"
#include "editor/blocks/PreviewFiles.h"
#include "model/NoteImage.h"

ImageBlockController::ImageBlockController(const QUuid& id, const ImagePlacement& placement, BlockHost* host,
                                           RowLookup rows, PictureCache* cache, QObject* parent)
    : QObject(parent),
      m_id(id),
      m_placement(placement),
      m_host(host),
      m_hostGuard(dynamic_cast<QObject*>(host)),
      m_rows(std::move(rows)),
      m_cache(cache)
{
    loadNatural();
}

NoteImage* ImageBlockController::row() const
{
    return m_rows ? m_rows(m_placement.imageID) : nullptr;
}

void ImageBlockController::loadNatural()
{
    m_natural = QSizeF();
    NoteImage* r = row();
    if (!r || !r->hasData()) return;
    if (r->pixelWidth() > 0 && r->pixelHeight() > 0) {
        m_natural = QSizeF(qreal(r->pixelWidth()), qreal(r->pixelHeight()));
        return;
    }
    const auto bytes = r->data();
    const QSize header = bytes ? PictureCache::headerSize(*bytes) : QSize();
    if (header.isValid() && !header.isEmpty()) m_natural = QSizeF(header);
}

qreal ImageBlockController::heightForWidth(qreal width)
{
    if (!(m_natural.width() > 0)) return ImageBlockLayout::emptyHeight;
    return displaySize(width).height() + 2 * ImageBlockLayout::verticalInset;
}

QSizeF ImageBlockController::displaySize(qreal paperWidth) const
{
    return ImageBlockLayout::displaySize(m_natural, m_placement.sizing, paperWidth);
}

void ImageBlockController::apply(const NoteBlock& block)
{
    const ImagePlacement* placement = block.imagePlacement();
    if (!placement) return;
    const bool newPicture = placement->imageID != m_placement.imageID;
    m_placement = *placement;
    if (newPicture) {
        m_image = QImage();
        loadNatural();
        if (m_near) {
            m_near = false;
            setNearViewport(true);
        }
    }
    Q_EMIT pictureChanged();
}

void ImageBlockController::focus(const CaretPlacement&)
{
    if (m_takeFocus) m_takeFocus();
}

void ImageBlockController::setFocused(bool focused)
{
    if (m_focused == focused) return;
    m_focused = focused;
    if (focused)
        if (BlockHost* h = host()) h->focusDidChange(m_id);
}

void ImageBlockController::setNearViewport(bool near)
{
    if (near == m_near) return;
    m_near = near;
    if (!near) {
        m_image = QImage();
        if (m_cache) m_cache->release(m_placement.imageID);
    } else if (m_cache) {
        if (NoteImage* r = row()) m_image = m_cache->acquire(*r);
    }
    Q_EMIT pictureChanged();
}

std::optional<QString> ImageBlockController::previewFile(PreviewFiles& files)
{
    NoteImage* r = row();
    BlockHost* h = host();
    if (!r) return std::nullopt;
    return files.fileFor(*r, h ? h->noteID() : QUuid());
}

QString ImageBlockController::sizingName(const ImageSizing& sizing)
{
    switch (sizing.kind()) {
        case ImageSizing::Kind::preset:
            return sizing.preset() == ImageSizing::Preset::small    ? QStringLiteral("Small")
                   : sizing.preset() == ImageSizing::Preset::medium ? QStringLiteral("Medium")
                                                                    : QStringLiteral("Full width");
        case ImageSizing::Kind::fraction:
            return QStringLiteral("Custom");
        case ImageSizing::Kind::fit:
            break;
    }
    return QStringLiteral("Original size");
}

QString ImageBlockController::accessibilityDescription() const
{
    const BlockHost* h = host();
    const qreal paper = h ? h->paperWidth() : 0;
    const qreal width = m_natural.width() > 0 ? displaySize(paper).width() : paper;
    const long percent = paper > 0 ? std::lround(width / paper * 100) : 0;
    return QStringLiteral("%1, %2% of width, %3 points")
        .arg(sizingName(m_placement.sizing))
        .arg(percent)
        .arg(qint64(width));
}

bool ImageBlockController::handleKey(int key, Qt::KeyboardModifiers modifiers)
{
    BlockHost* h = host();
    if (!h || (modifiers & Qt::ControlModifier)) return false;
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            h->insertTextBlock(m_id);
            return true;
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
            h->deleteImageBlock(m_id);
            return true;
        case Qt::Key_Escape:
            return true;
        case Qt::Key_Left:
            h->moveFocus(m_id, BlockFocusDirection::left, std::nullopt);
            return true;
        case Qt::Key_Right:
            h->moveFocus(m_id, BlockFocusDirection::right, std::nullopt);
            return true;
        case Qt::Key_Up:
            h->moveFocus(m_id, BlockFocusDirection::up, std::nullopt);
            return true;
        case Qt::Key_Down:
            h->moveFocus(m_id, BlockFocusDirection::down, std::nullopt);
            return true;
        default:
            return false;
    }
}
