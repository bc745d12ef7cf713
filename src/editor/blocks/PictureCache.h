#pragma once

#include <QHash>
#include <QImage>
#include <QSize>
#include <QUuid>

class NoteImage;

// The decoded pictures of one editor, by picture id. A picture is decoded once, no larger than maxSide
// on its longer side (the screen never shows more), and only while a block wants it; released pictures
// hold no pixels.
class PictureCache {
public:
    explicit PictureCache(int maxSide = 2048) : m_maxSide(maxSide) {}

    void setMaxSide(int side) { m_maxSide = std::max(1, side); }
    // The picture of a row, decoding it when not held; a null image when the row has no bytes or they
    // do not decode.
    QImage acquire(const NoteImage& row);
    QImage held(const QUuid& id) const { return m_images.value(id); }
    void release(const QUuid& id) { m_images.remove(id); }
    void clear() { m_images.clear(); }

    int heldCount() const { return int(m_images.size()); }
    // Decodes done so far (tests and benchmarks check that relayout decodes nothing again).
    int decodeCount() const { return m_decodes; }

    // The pixel size a picture declares in its header, without decoding it.
    static QSize headerSize(const QByteArray& bytes);

private:
    QHash<QUuid, QImage> m_images;
    int m_maxSide;
    int m_decodes = 0;
};
