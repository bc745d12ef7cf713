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

}  // namespace

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
