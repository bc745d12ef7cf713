#include <QGuiApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "editor/text/PastedHtml.h"

// Pasted HTML is outside input: any markup must parse without fault or outside access, and the text it
// gives must hold no picture, frame or separator characters that a text block cannot keep.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString html = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    TextAttributes typing;
    typing.font = TextFont{QString(), 14.5, 400, false};
    const AttributedText text = PastedHtml::text(html, typing);
    for (QChar c : text.text())
        if (c == QChar::ObjectReplacementCharacter || c == QChar(0xFDD0) || c == QChar(0xFDD1) ||
            c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            abort();
    qsizetype end = 0;
    for (const AttributedText::Run& run : text.runs()) {
        if (run.start != end || run.length <= 0) abort();
        end += run.length;
    }
    if (end != text.length()) abort();
    return 0;
}
