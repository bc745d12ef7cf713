#include "platform/OwnedSelections.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {

// The editor exports paragraph ends as U+2029 or "\n", keeps no-break spaces or turns them into
// spaces, and drops the object characters of pictures: both sides are brought to one form.
QString normalised(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    text.replace(u'\r', u'\n');
    text.replace(QChar::Nbsp, u' ');
    text.remove(QChar::ObjectReplacementCharacter);
    return text;
}

// Per mode (QClipboard::Mode as index), the note the selection this process holds came from.
std::optional<QUuid> g_source[3];
bool g_tracking = false;

bool owns(QClipboard* clipboard, QClipboard::Mode mode)
{
    switch (mode) {
        case QClipboard::Clipboard:
            return clipboard->ownsClipboard();
        case QClipboard::Selection:
            return clipboard->ownsSelection();
        case QClipboard::FindBuffer:
            return clipboard->ownsFindBuffer();
    }
    return false;
}

std::optional<QUuid> focusedNote()
{
    for (QObject* object = qGuiApp ? QGuiApplication::focusObject() : nullptr; object; object = object->parent()) {
        const QVariant id = object->property(OwnedSelections::noteProperty);
        if (id.isValid() && !id.toUuid().isNull()) return id.toUuid();
    }
    return std::nullopt;
}

}  // namespace

void OwnedSelections::track()
{
    QClipboard* clipboard = qGuiApp ? QGuiApplication::clipboard() : nullptr;
    if (!clipboard || g_tracking) return;
    g_tracking = true;
    // Told synchronously when this process sets a selection (a copy, a select-all, a drag over text),
    // and again when another client takes it.
    // Recorded whoever set it: releasing asks the clipboard whether this process still holds it.
    QObject::connect(clipboard, &QClipboard::changed, clipboard,
                     [](QClipboard::Mode mode) { g_source[mode] = focusedNote(); });
    QObject::connect(clipboard, &QObject::destroyed, [] { g_tracking = false; });
}

std::optional<QUuid> OwnedSelections::sourceOf(int mode)
{
    if (mode < 0 || mode > 2) return std::nullopt;
    return g_source[mode];
}

int OwnedSelections::releaseFromNote(const QUuid& noteID)
{
    QClipboard* clipboard = qGuiApp ? QGuiApplication::clipboard() : nullptr;
    if (!clipboard || noteID.isNull()) return 0;
    int released = 0;
    for (const QClipboard::Mode mode : {QClipboard::Selection, QClipboard::Clipboard}) {
        if (!owns(clipboard, mode) || g_source[mode] != noteID) continue;
        clipboard->clear(mode);
        g_source[mode] = std::nullopt;
        ++released;
    }
    return released;
}

bool OwnedSelections::isPartOf(const QString& held, const QString& text)
{
    const QString piece = normalised(held);
    return !piece.trimmed().isEmpty() && normalised(text).contains(piece);
}

int OwnedSelections::releaseTextFrom(const QString& text)
{
    QClipboard* clipboard = qGuiApp ? QGuiApplication::clipboard() : nullptr;
    if (!clipboard || text.isEmpty()) return 0;
    int released = 0;
    for (const QClipboard::Mode mode : {QClipboard::Selection, QClipboard::Clipboard}) {
        const bool owned = mode == QClipboard::Selection ? clipboard->ownsSelection() : clipboard->ownsClipboard();
        if (!owned) continue;
        const QMimeData* held = clipboard->mimeData(mode);
        if (!held || !held->hasText() || !isPartOf(held->text(), text)) continue;
        clipboard->clear(mode);
        ++released;
    }
    return released;
}
