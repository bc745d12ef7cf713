#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// Named symbols (the names the views use, such as "xmark" or "MenubarGlyph") to icons: our own SVG
// in the resources when there is one (":/icons/<name>.svg"), else the freedesktop icon theme's icon
// of the same meaning. Our SVGs are monochrome masks drawn in black.
struct Symbols {
    // A null icon when the name is unknown or neither source has it.
    static QIcon icon(const QString& name);
    // The symbol recoloured to `color` (alpha of the mask kept), as the views draw symbols in a token
    // colour. Rendered at `size` logical pixels for each device pixel ratio in `ratios`.
    static QIcon tinted(const QString& name, const QColor& color, int size = 16, QList<qreal> ratios = {1, 2});

    // The freedesktop icon name used for a symbol without an SVG of ours; empty when there is none.
    static QString themeName(const QString& name);
};
