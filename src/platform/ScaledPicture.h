#pragma once

#include <QImage>
#include <QSize>

class QImageReader;

// A picture read at another size in its own colours. Qt scales a decoded picture in that picture's own
// format and turns a palette or 1-bit result back into one: a two-colour picture comes out as black and
// white dither, a palette with transparency in other colours. So only a decoder that draws true colour
// at the wanted size (JPEG in its transform, a drawing as it is drawn) scales while it reads; any other
// picture is decoded whole, redrawn in 32-bit RGB(A), then scaled.
class ScaledPicture {
public:
    // The reader's picture at `size` (its size before any turn upright; its own size when `size` is not
    // valid) as RGB32, ARGB32 or ARGB32_Premultiplied; null when it does not decode.
    static QImage read(QImageReader& reader, QSize size = QSize());
};
