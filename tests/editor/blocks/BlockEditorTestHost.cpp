// A window that edits the newest note of the real store with the block editor, for the black-box test
// until the note window carries the editor (a new note on an empty store). Also writes the pictures the
// test needs and offers a file to drag, so the test needs no other tool.
//   block_editor_test_host                      the editor
//   block_editor_test_host --picture W H FILE   writes a W x H picture (format by the file's extension)
//   block_editor_test_host --drag [--text] FILE...  a window titled "Drag source": press and drag to drop the
//                                               files (with --text, their addresses as text beside them, as
//                                               a file manager offers them)
//   block_editor_test_host --drag-text TEXT     the same for a drag of plain text
//   block_editor_test_host --clipboard HTML PNG  owns the clipboard with both as a browser's "Copy Image"
//                                               offers them (text/html and image/png) until it is stopped
// With TARNWICK_BLOCKS_GEOMETRY set, the picture frames in window coordinates are written to that file
// after every layout, one "x y w h" line per picture.
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "design/TarnwickType.h"
#include "editor/blocks/BlockContainerView.h"
#include "editor/blocks/BlockEditorView.h"
#include "editor/blocks/ImageBlockController.h"
#include "editor/blocks/ImageBlockView.h"
#include "editor/blocks/PreviewFiles.h"
#include "model/Note.h"
#include "platform/Clock.h"
#include "platform/ModelContext.h"
#include "platform/NotificationCenter.h"
#include "platform/QuitOnSignal.h"
#include "platform/Settings.h"
#include "platform/SpellChecker.h"
#include "store/NoteStore.h"
#include "store/PersistenceController.h"
#include "store/ResolvedNoteLook.h"

namespace {

class DragSource : public QLabel {
public:
    // Files (with their addresses as text too, as a file manager offers them, when asked), or text alone.
    DragSource(const QStringList& paths, bool addressesAsText, const QString& text = QString())
        : QLabel(QStringLiteral("drag me")), m_paths(paths), m_addressesAsText(addressesAsText), m_text(text)
    {
        setWindowTitle(QStringLiteral("Drag source"));
        resize(160, 80);
    }

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        auto* drag = new QDrag(this);
        auto* data = new QMimeData;
        QList<QUrl> urls;
        QStringList addresses;
        for (const QString& path : m_paths) {
            urls << QUrl::fromLocalFile(path);
            addresses << urls.back().toString();
        }
        if (!urls.isEmpty()) data->setUrls(urls);
        if (m_addressesAsText) data->setText(addresses.join(QLatin1Char('\n')));
        if (!m_text.isEmpty()) data->setText(m_text);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
    }

private:
    QStringList m_paths;
    bool m_addressesAsText = false;
    QString m_text;
};

void writeGeometry(BlockEditorView& editor, QWidget& window)
{
    const QString path = qEnvironmentVariable("TARNWICK_BLOCKS_GEOMETRY");
    if (path.isEmpty() || !editor.container()) return;
    QString lines;
    for (const auto& entry : editor.container()->entries()) {
        if (!dynamic_cast<ImageBlockController*>(entry.controller.get())) continue;
        const auto* view = qobject_cast<const ImageBlockView*>(entry.controller->view());
        if (!view) continue;
        const QPoint at = view->mapTo(&window, view->imageRect().topLeft().toPoint());
        const QSizeF size =
            static_cast<ImageBlockController*>(entry.controller.get())->displaySize(editor.container()->paperWidth());
        lines += QStringLiteral("%1 %2 %3 %4\n").arg(at.x()).arg(at.y()).arg(int(size.width())).arg(int(size.height()));
    }
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(lines.toUtf8());
        file.commit();
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarnwick"));
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == QLatin1String("--picture")) {
        QImage image(args[2].toInt(), args[3].toInt(), QImage::Format_RGB32);
        image.fill(QColor(args[4].endsWith(QLatin1String(".png")) ? 0x3A7BD5 : 0xD5833A));
        for (int x = 0; x < image.width(); x += 7) image.setPixelColor(x, x % image.height(), Qt::white);
        return image.save(args[4]) ? 0 : 1;
    }
    if (args.size() == 4 && args[1] == QLatin1String("--clipboard")) {
        QFile html(args[2]);
        QFile png(args[3]);
        if (!html.open(QIODevice::ReadOnly) || !png.open(QIODevice::ReadOnly)) return 1;
        auto* data = new QMimeData;
        data->setData(QStringLiteral("text/html"), html.readAll());  // UTF-8, as a browser offers it
        data->setData(QStringLiteral("image/png"), png.readAll());
        QApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
        QuitOnSignal::install();
        return app.exec();
    }
    if (args.size() >= 3 && args[1] == QLatin1String("--drag")) {
        const bool asText = args[2] == QLatin1String("--text");
        DragSource source(args.mid(asText ? 3 : 2), asText);
        source.show();
        return app.exec();
    }
    if (args.size() == 3 && args[1] == QLatin1String("--drag-text")) {
        DragSource source({}, false, args[2]);
        source.show();
        return app.exec();
    }

    QuitOnSignal::install();
    TarnwickType::registerBundledFonts();
    NoteStore store(PersistenceController::shared(Clock::system()).mainContext(), Clock::system(), Settings::shared(),
                    NotificationCenter::shared());
    PreviewFiles previews;
    previews.sweepLeftovers();
    const QList<Note*> notes = store.allActive();
    Note* note = notes.isEmpty() ? nullptr : notes.front();
    if (!note) {
        note =
            store.context().insert(std::make_unique<Note>(QString(), QString(), Tint::blue, Opacity::solid,
                                                          std::nullopt, std::nullopt, QDateTime::currentDateTimeUtc()));
        store.saveNow();
    }

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* editor = new BlockEditorView(
        {store, previews, Clock::system(), NotificationCenter::shared(), SpellChecker::desktop()}, &window);
    layout->addWidget(editor);
    editor->setTheme(store.look(*note).theme);
    editor->setNote(note);
    window.setWindowTitle(note->displayTitle());
    // Saved at once, so the test reads every change from the file.
    QTimer save;
    save.setSingleShot(true);
    save.setInterval(0);
    QObject::connect(&save, &QTimer::timeout, &store, [&] {
        store.saveNow();
        window.setWindowTitle(note->displayTitle());
    });
    QObject::connect(note, &ManagedObject::attributeChanged, &save, qOverload<>(&QTimer::start));
    QObject::connect(editor->container(), &BlockContainer::laidOut, &window,
                     [&] { QTimer::singleShot(0, &window, [&] { writeGeometry(*editor, window); }); });
    window.resize(420, 560);
    window.show();
    editor->focusBody();
    const int rc = app.exec();
    store.saveNow();
    editor->closeNote();
    store.saveNow();
    return rc;
}
