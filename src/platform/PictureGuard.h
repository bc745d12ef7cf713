#pragma once

#include <QByteArray>

// Whether picture bytes can be decoded without the decoder opening anything outside them. A raster
// picture always can. A drawing (SVG) may name other files in an <image> or a stylesheet, and the
// decoder would open them on the calling thread: a named pipe there holds it for good. So a drawing
// passes only when every reference in it points inside it ("#id") or is inline data that passes the
// same test in turn; entity declarations, stylesheets from outside and compressed drawings (which
// cannot be looked through before they are drawn) are refused. Every untrusted picture goes through
// this before it is decoded: pasted, dropped and stored pictures, application icons, wallpapers.
class PictureGuard {
public:
    // How deep inline drawings may nest inside each other before the picture is refused.
    static constexpr int maxNesting = 4;

    static bool selfContained(const QByteArray& bytes);
    // Whether the bytes would be decoded as a drawing (plain or compressed).
    static bool isDrawing(const QByteArray& bytes);

private:
    static bool selfContained(const QByteArray& bytes, int depth);
    static bool drawingSelfContained(const QByteArray& bytes, int depth);
};
