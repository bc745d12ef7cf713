#include "editor/blocks/ImageBlockView.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>

#include "design/LeafAccessible.h"
#include "design/TarnwickTheme.h"
#include "editor/DropPictures.h"
#include "editor/blocks/BlockContainer.h"
#include "editor/blocks/ImageBlockController.h"
#include "editor/blocks/PreviewWindow.h"
#include "editor/text/RichNSTextView.h"
#include "model/NoteImage.h"

namespace {
QString mimeFor(const QString& utType)
{
    if (utType == QLatin1String("public.png")) return QStringLiteral("image/png");
    if (utType == QLatin1String("public.jpeg")) return QStringLiteral("image/jpeg");
    if (utType == QLatin1String("com.compuserve.gif")) return QStringLiteral("image/gif");
    return QString();
}
// The corner grip: a button "Resize image" whose help says how to use it, where it is drawn while the
// picture is hovered or focused (invisible otherwise). It is dragged, not pressed: no action.
class ResizeGripAccessible : public LeafAccessible {
public:
    ResizeGripAccessible(ImageBlockView* view, QAccessibleInterface* parent) : m_view(view), m_parent(parent) {}

    bool isValid() const override { return m_view; }
    QWindow* window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return m_parent; }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) return QStringLiteral("Resize image");
        if (t == QAccessible::Help) return QStringLiteral("Drag to change how wide this picture is drawn");
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        if (!m_view) return {};
        const QPointF corner = m_view->imageRect().bottomRight();
        const QRect local(int(corner.x()) - 8, int(corner.y()) - 8, 16, 16);
        return QRect(m_view->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.invalid = !m_view;
        s.invisible = !m_view || !m_view->overlayTarget();
        return s;
    }

private:
    QPointer<ImageBlockView> m_view;
    QAccessibleInterface* m_parent;
};

// What assistive technology sees of a picture block: an image with its size as the value, the
// menu's actions, and the resize grip.
class ImageBlockAccessible : public QAccessibleWidget {
public:
    explicit ImageBlockAccessible(ImageBlockView* view) : QAccessibleWidget(view, QAccessible::Graphic) {}
    ~ImageBlockAccessible() override
    {
        if (m_grip) QAccessible::deleteAccessibleInterface(m_grip);
    }

    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override
    {
        if (index != 0) return nullptr;
        if (!m_grip)
            m_grip = QAccessible::registerAccessibleInterface(new ResizeGripAccessible(
                static_cast<ImageBlockView*>(widget()), const_cast<ImageBlockAccessible*>(this)));
        return QAccessible::accessibleInterface(m_grip);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return m_grip && QAccessible::accessibleInterface(m_grip) == child ? 0 : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        QAccessibleInterface* grip = child(0);
        return grip && !grip->state().invisible && grip->rect().contains(x, y) ? grip : nullptr;
    }

    // The picture's own frame: a screen reader's highlight and a click on the object land on the
    // picture, not on the margins above and below it, the room beside it or the outline's bleed.
    QRect rect() const override
    {
        auto* view = static_cast<ImageBlockView*>(widget());
        if (!view->isVisible()) return QAccessibleWidget::rect();
        const QRect local = view->imageRect().toRect();
        return QRect(view->mapToGlobal(local.topLeft()), local.size());
    }

    QString text(QAccessible::Text t) const override
    {
        auto* view = static_cast<ImageBlockView*>(widget());
        if (t == QAccessible::Name) return QStringLiteral("Image");
        if (t == QAccessible::Value || t == QAccessible::Description)
            return view->controller().accessibilityDescription();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override
    {
        return {QStringLiteral("Delete"), QStringLiteral("Original size"), QStringLiteral("Full width")};
    }
    void doAction(const QString& name) override
    {
        auto* view = static_cast<ImageBlockView*>(widget());
        BlockHost* host = view->controller().host();
        if (!host) return;
        const QUuid id = view->controller().id();
        if (name == QLatin1String("Delete"))
            host->deleteImageBlock(id);
        else if (name == QLatin1String("Original size"))
            host->setImageSizing(id, ImageSizing::makeFit());
        else if (name == QLatin1String("Full width"))
            host->setImageSizing(id, ImageSizing::makePreset(ImageSizing::Preset::large));
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    mutable QAccessible::Id m_grip = 0;
};

QAccessibleInterface* imageBlockAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("ImageBlockView") && object && object->isWidgetType())
        return new ImageBlockAccessible(static_cast<ImageBlockView*>(object));
    return nullptr;
}

}  // namespace

ImageBlockView::ImageBlockView(ImageBlockController& controller, BlockContainer& container, QWidget* parent)
    : QWidget(parent), m_controller(controller), m_container(&container)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    static const bool installed = [] {
        QAccessible::installFactory(imageBlockAccessible);
        return true;
    }();
    Q_UNUSED(installed);
    m_controller.setView(this);
    m_controller.setFocusTaker([this] { setFocus(Qt::OtherFocusReason); });
    connect(&m_controller, &ImageBlockController::pictureChanged, this, qOverload<>(&QWidget::update));
}

ImageBlockView::~ImageBlockView()
{
    detach();
}

void ImageBlockView::detach()
{
    if (isDetached()) return;
    markDetached();
    endGesture(false);
    disconnect(&m_controller, nullptr, this, nullptr);
    // A view made since for the same block keeps its place in the controller.
    if (m_controller.view() == this) {
        m_controller.setView(nullptr);
        m_controller.setFocusTaker(nullptr);
    }
    m_container = nullptr;
}

QRectF ImageBlockView::imageRect() const
{
    const qreal w = blockWidth();
    const qreal shown = m_controller.natural().width() > 0 ? std::min(w, m_controller.displaySize(w).width()) : w;
    return QRectF(bleed, ImageBlockLayout::verticalInset, shown,
                  std::max<qreal>(0, height() - 2 * ImageBlockLayout::verticalInset));
}

bool ImageBlockView::isSelected() const
{
    // hasFocus() is false for every widget of an inactive window; the window's focus widget is kept.
    const QWidget* w = window();
    return w && w->focusWidget() == this;
}

std::optional<QRectF> ImageBlockView::overlayTarget() const
{
    const QRectF r = imageRect();
    if ((!m_hovering && !isSelected() && !m_gesture) || r.width() <= 1 || r.height() <= 1) return std::nullopt;
    return r;
}

void ImageBlockView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = imageRect();
    const QImage& image = m_controller.image();
    if (!image.isNull()) p.drawImage(r, image);
    const auto target = overlayTarget();
    if (!target) return;
    const qreal alpha = isActiveWindow() ? 1.0 : 0.45;
    const bool selected = isSelected();
    QColor stroke = selected ? TarnwickTheme::accent() : palette().color(QPalette::PlaceholderText);
    stroke.setAlphaF(float(selected ? alpha : 0.4 * alpha));
    p.setPen(QPen(stroke, selected ? 1.5 : 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(target->adjusted(-0.5, -0.5, 0.5, 0.5));
    // The corner grip: a 9 x 9 rounded square centred on the bottom-right corner.
    const QRectF grip(target->right() - 4.5, target->bottom() - 4.5, 9, 9);
    // Its shadow, a little below it: black at 35%, softened over about 2 px.
    p.setPen(Qt::NoPen);
    for (const auto& [grow, alpha] : {std::pair{2.0, 0.08}, std::pair{1.0, 0.12}, std::pair{0.0, 0.15}}) {
        p.setBrush(QColor::fromRgbF(0, 0, 0, float(alpha)));
        p.drawRoundedRect(grip.translated(0, 1).adjusted(-grow, -grow, grow, grow), 2 + grow, 2 + grow);
    }
    p.setPen(QPen(QColor(0, 0, 0, 140), 1.0));
    p.setBrush(Qt::white);
    p.drawRoundedRect(grip, 2, 2);
}

void ImageBlockView::updateCursor(QPointF point)
{
    const auto zone = ImageBlockLayout::zoneAt(overlayTarget(), point, visibleRegion().boundingRect());
    if (!zone)
        unsetCursor();
    else
        setCursor(*zone == ImageBlockLayout::Zone::corner ? Qt::SizeFDiagCursor : Qt::SizeHorCursor);
}

void ImageBlockView::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    m_hovering = true;
    const QPointF point = e->position();
    const auto target = overlayTarget();
    if (const auto zone = ImageBlockLayout::zoneAt(target, point, visibleRegion().boundingRect())) {
        setFocus(Qt::MouseFocusReason);
        m_gesture.emplace(*zone, *target, point, m_container ? m_container->paperWidth() : blockWidth());
        return;
    }
    if (imageRect().contains(point)) {
        setFocus(Qt::MouseFocusReason);
        update();
        return;
    }
    if (m_container) m_container->focusTextBeside(m_controller.id());
}

void ImageBlockView::mouseMoveEvent(QMouseEvent* e)
{
    if (m_gesture) {
        const double fraction = m_gesture->move(e->position());
        if (m_container) m_container->previewImageSizing(m_controller.id(), fraction);
        return;
    }
    if (!m_hovering) {
        m_hovering = true;
        update();
    }
    updateCursor(e->position());
}

void ImageBlockView::endGesture(bool commit)
{
    if (!m_gesture) return;
    const auto fraction = m_gesture->finish();
    m_gesture.reset();
    // A press without a drag stores nothing: it would turn "fit" into a fraction.
    if (commit && fraction && m_container)
        m_container->setImageSizing(m_controller.id(), ImageSizing::makeFraction(*fraction));
    update();
}

void ImageBlockView::mouseReleaseEvent(QMouseEvent* e)
{
    if (m_gesture && e->button() == Qt::LeftButton) {
        endGesture(true);
        return;
    }
    QWidget::mouseReleaseEvent(e);
}

void ImageBlockView::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && imageRect().contains(e->position()) && !m_gesture) {
        openPreview();
        return;
    }
    QWidget::mouseDoubleClickEvent(e);
}

bool ImageBlockView::event(QEvent* e)
{
    const EventScope scope(*this);
    if (isDetached()) return QWidget::event(e);
    // The gesture ends with the grab, as a release would end it.
    if (e->type() == QEvent::UngrabMouse || e->type() == QEvent::WindowDeactivate) endGesture(true);
    // The outline fades with the window: our palette is the same active or not, so Qt repaints nothing.
    if (e->type() == QEvent::WindowActivate || e->type() == QEvent::WindowDeactivate) update();
    return QWidget::event(e);
}

void ImageBlockView::keyPressEvent(QKeyEvent* e)
{
    if (!m_container) return;
    if (e->matches(QKeySequence::Undo)) {
        m_container->undo();
    } else if (e->matches(QKeySequence::Redo) ||
               (e->key() == Qt::Key_Z && e->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier))) {
        m_container->redo();
    } else if (e->matches(QKeySequence::Copy)) {
        copyPicture();
    } else if (e->matches(QKeySequence::Cut)) {
        cutPicture();
    } else if (e->matches(QKeySequence::Paste)) {
        pastePictures();
    } else if (e->matches(QKeySequence::SelectAll)) {
        // The picture is the selection already.
    } else if (!m_controller.handleKey(e->key(), e->modifiers())) {
        QWidget::keyPressEvent(e);
    }
}

void ImageBlockView::copyPicture()
{
    NoteImage* row = m_controller.row();
    const auto bytes = row ? row->data() : std::nullopt;
    if (!bytes || bytes->isEmpty()) return;  // a locked note: the clipboard stays as it is
    auto* mime = new QMimeData;
    const QString type = mimeFor(row->utType());
    // Other picture types get the decoded picture.
    const QImage image = row->image();
    if (!image.isNull()) mime->setImageData(image);
    // The stored bytes under their own type, set last so they win over the converted picture.
    if (!type.isEmpty()) mime->setData(type, *bytes);
    QApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
}

void ImageBlockView::cutPicture()
{
    copyPicture();
    if (m_container) m_container->deleteImageBlock(m_controller.id());
}

void ImageBlockView::pastePictures()
{
    if (!m_container) return;
    const auto pictures = RichNSTextView::imageData(QApplication::clipboard()->mimeData(QClipboard::Clipboard));
    if (!pictures.skipped.isEmpty()) m_container->reportSkipped(DropPictures::notice(pictures.skipped));
    const auto i = m_container->indexOfBlock(m_controller.id());
    if (pictures.images.empty() || !i) return;
    m_container->insertImages(pictures.images, *i + 1);
}

QMenu* ImageBlockView::createMenu()
{
    auto* menu = new QMenu(this);
    const ImageSizing current = m_controller.placement().sizing;
    const QUuid id = m_controller.id();
    QPointer<BlockContainer> container = m_container;
    auto sizeItem = [&](const QString& title, const ImageSizing& sizing) {
        QAction* a = menu->addAction(title, [container, id, sizing] {
            if (container) container->setImageSizing(id, sizing);
        });
        a->setCheckable(true);
        a->setChecked(current == sizing);
    };
    sizeItem(QStringLiteral("Original size"), ImageSizing::makeFit());
    sizeItem(QStringLiteral("Full width"), ImageSizing::makePreset(ImageSizing::Preset::large));
    menu->addSeparator();
    menu->addAction(QStringLiteral("Copy Image"), this, &ImageBlockView::copyPicture);
    menu->addAction(QStringLiteral("Delete"), [container, id] {
        if (container) container->deleteImageBlock(id);
    });
    return menu;
}

void ImageBlockView::contextMenuEvent(QContextMenuEvent* e)
{
    setFocus(Qt::PopupFocusReason);
    QMenu* menu = createMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(e->globalPos());
}

void ImageBlockView::openPreview()
{
    if (!m_container || !m_container->previewFiles()) return;
    const auto path = m_controller.previewFile(*m_container->previewFiles());
    if (!path) return;
    setFocus(Qt::OtherFocusReason);
    PreviewWindow::show(*path, window());
}

void ImageBlockView::focusInEvent(QFocusEvent* e)
{
    QWidget::focusInEvent(e);
    m_controller.setFocused(true);
    setAccessibleDescription(m_controller.accessibilityDescription());
    update();
}

void ImageBlockView::focusOutEvent(QFocusEvent* e)
{
    QWidget::focusOutEvent(e);
    m_controller.setFocused(false);
    update();
}

void ImageBlockView::enterEvent(QEnterEvent* e)
{
    QWidget::enterEvent(e);
    m_hovering = true;
    updateCursor(e->position());
    update();
}

void ImageBlockView::leaveEvent(QEvent* e)
{
    QWidget::leaveEvent(e);
    m_hovering = false;
    unsetCursor();
    update();
}
