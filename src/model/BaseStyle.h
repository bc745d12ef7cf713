#pragma once

#include <QColor>

#include "model/text/AttributedText.h"

// The style a text block has where no stored run says otherwise.
struct BaseStyle {
    TextFont font;
    QColor color;
    ParagraphStyle paragraphStyle;
};
