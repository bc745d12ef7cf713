#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>

// Where the shelf panel goes, in global coordinates (top-left origin, y down). It hangs from the tray
// icon when the tray tells where that is, else from the pointer that clicked it; with neither, it sits
// at the top right of the pointer's screen.
struct ShelfPlacement {
    static constexpr QSize panelSize{380, 500};

    struct Input {
        std::optional<QRect> anchor;  // the tray icon, or a 1x1 rectangle at the clicking pointer
        QRect screen;                 // the geometry of the screen the anchor (or pointer) is on
        QRect available;              // that screen's available geometry
        bool fullScreenWindowActive = false;
        QSize panel = panelSize;
    };

    static QPoint topLeft(const Input& input);
};
