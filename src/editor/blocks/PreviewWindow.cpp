#include "editor/blocks/PreviewWindow.h"

#include "model/text/TextPictures.h"
#include "platform/BoundedFile.h"
#include "platform/PictureGuard.h"
#include "platform/ScaledPicture.h"

#include <QBuffer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QScreen>

namespace {
QPointer<PreviewWindow> g_window;
}

// A dialog-type window: the window manager then takes it as transient for the note window it belongs to.
PreviewWindow::PreviewWindow() : QLabel(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setAlignment(Qt::AlignCenter);
    setMinimumSize(160, 120);
    setStyleSheet(QStringLiteral("background: #1E1B18;"));
}

PreviewWindow* PreviewWindow::show(const QString& path, QWidget* near)
{
    if (!g_window) g_window = new PreviewWindow;
    QWidget* owner = near ? near->window() : nullptr;
    // A child window of the note window: the window manager keeps it above that (always-on-top) note.
    // (Reparenting hides it, so this comes before the focus to give back is taken.)
    if (g_window->parentWidget() != owner) g_window->setParent(owner, g_window->windowFlags());
    if (!g_window->isVisible() || g_window->m_focusReturn.window() != owner) g_window->m_focusReturn.capture(owner);
    g_window->load(path);
    if (owner) g_window->move(owner->geometry().center() - g_window->rect().center());
    g_window->QWidget::show();
    g_window->raise();
    g_window->activateWindow();
    return g_window;
}

void PreviewWindow::load(const QString& path)
{
    m_path = path;
    setWindowTitle(QFileInfo(path).fileName());
    // The file holds a stored picture's bytes, which are judged like any other picture's before drawing.
    const auto read = BoundedFile::read(path, TextPictures::maximumBytes);
    QByteArray bytes = std::holds_alternative<QByteArray>(read) ? std::get<QByteArray>(read) : QByteArray();
    if (!PictureGuard::selfContained(bytes)) bytes.clear();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize limit = screen ? screen->availableSize() * 0.8 : QSize(1024, 768);
    const QSize size = reader.size();
    const bool large = size.isValid() && (size.width() > limit.width() || size.height() > limit.height());
    const QImage image = ScaledPicture::read(reader, large ? size.scaled(limit, Qt::KeepAspectRatio) : QSize());
    setPixmap(QPixmap::fromImage(image));
    resize(image.isNull() ? QSize(320, 240) : image.size().expandedTo(minimumSize()));
}

void PreviewWindow::hideEvent(QHideEvent* event)
{
    QLabel::hideEvent(event);
    m_focusReturn.restore();
}

void PreviewWindow::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape || e->key() == Qt::Key_Space) {
        // Given back while the preview still has the keyboard, before it hides.
        m_focusReturn.restore();
        close();
        return;
    }
    QLabel::keyPressEvent(e);
}
