#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <thread>

#include "model/NoteImage.h"
#include "model/text/TextPictures.h"

namespace {

QByteArray encode(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image)) << format << qPrintable(writer.errorString());
    return bytes;
}

QImage picture(int w, int h, bool alpha)
{
    QImage image(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    image.fill(alpha ? QColor(200, 40, 40, 120) : QColor(200, 40, 40));
    return image;
}

// A GIF whose one frame holds only a clear code: enough for a reader to take its size from. (Qt
// writes no GIF.)
QByteArray gifOfSize(quint16 w, quint16 h)
{
    QByteArray gif("GIF89a");
    auto le16 = [&gif](std::initializer_list<quint16> values) {
        for (quint16 v : values) gif.append(char(v & 0xFF)).append(char(v >> 8));
    };
    le16({w, h});
    gif.append("\x80\x00\x00", 3).append("\x00\x00\x00\xff\xff\xff", 6).append(char(0x2C));
    le16({0, 0, w, h});
    gif.append("\x00\x02\x01\x2c\x00\x3b", 6);
    return gif;
}

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char ch : data) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray pngChunk(const char* type, const QByteArray& payload)
{
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(quint32(payload.size()), chunk.data());
    const QByteArray body = QByteArray(type) + payload;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32(body), crc.data());
    return chunk + body + crc;
}

// A small file whose header claims an enormous picture.
QByteArray hugePngHeader(quint32 w, quint32 h)
{
    QByteArray ihdr(13, '\0');
    qToBigEndian<quint32>(w, ihdr.data());
    qToBigEndian<quint32>(h, ihdr.data() + 4);
    ihdr[8] = 8;  // bit depth
    ihdr[9] = 2;  // truecolour
    const QByteArray idat = qCompress(QByteArray(64, '\0')).mid(4);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) + pngChunk("IDAT", idat) +
           pngChunk("IEND", QByteArray());
}

TEST(NoteImageTest, SmallPngJpegAndGifPassThroughUnchanged)
{
    for (const char* format : {"png", "jpeg", "gif"}) {
        const QByteArray bytes =
            qstrcmp(format, "gif") == 0 ? gifOfSize(2048, 100) : encode(picture(2048, 100, false), format);
        const auto r = NoteImage::normalised(bytes);
        ASSERT_TRUE(r) << format;
        EXPECT_EQ(r->data, bytes) << format;
        EXPECT_EQ(r->pixelSize, QSize(2048, 100));
    }
    EXPECT_EQ(NoteImage::normalised(encode(picture(10, 10, true), "png"))->utType, "public.png");
    EXPECT_EQ(NoteImage::normalised(encode(picture(10, 10, false), "jpeg"))->utType, "public.jpeg");
    EXPECT_EQ(NoteImage::normalised(gifOfSize(10, 10))->utType, "com.compuserve.gif");
}

TEST(NoteImageTest, LargePicturesAreScaledAndEncodedByAlpha)
{
    struct Case {
        QSize in;
        bool alpha;
        QSize out;
        const char* type;
    };
    for (const Case& c :
         {Case{{2049, 10}, true, {2048, 9}, "public.png"}, Case{{2049, 10}, false, {2048, 9}, "public.jpeg"},
          Case{{1, 5000}, false, {1, 2048}, "public.jpeg"}, Case{{3000, 3000}, true, {2048, 2048}, "public.png"}}) {
        const auto r = NoteImage::normalised(encode(picture(c.in.width(), c.in.height(), c.alpha), "png"));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->pixelSize, c.out);
        EXPECT_EQ(QImage::fromData(r->data).size(), c.out);
        EXPECT_EQ(r->utType, QLatin1String(c.type));
    }
    // A JPEG too large to keep never comes back as PNG.
    const auto jpeg = NoteImage::normalised(encode(picture(4000, 1000, false), "jpeg"));
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(jpeg->utType, "public.jpeg");
    EXPECT_EQ(jpeg->pixelSize, QSize(2048, 512));
}

TEST(NoteImageTest, OtherFormatsAndOversizedFilesAreReencodedAtTheirSize)
{
    for (const char* format : {"tiff", "bmp"}) {
        const auto r = NoteImage::normalised(encode(picture(10, 10, false), format));
        ASSERT_TRUE(r) << format;
        EXPECT_EQ(r->pixelSize, QSize(10, 10));
        EXPECT_EQ(r->utType, "public.jpeg");
    }
    // Over 3 MiB though within 2048 pixels: re-encoded, same pixel size.
    QImage noisy(1500, 1500, QImage::Format_ARGB32);
    for (int y = 0; y < noisy.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(noisy.scanLine(y));
        for (int x = 0; x < noisy.width(); ++x) line[x] = quint32(x * 2654435761u ^ y * 40503u) | 0x01000000u;
    }
    const QByteArray big = encode(noisy, "png", 100);  // least compression, unlike the re-encoder
    ASSERT_GT(big.size(), NoteImage::maxPassThroughBytes);
    const auto r = NoteImage::normalised(big);
    ASSERT_TRUE(r);
    EXPECT_NE(r->data, big);
    EXPECT_EQ(r->pixelSize, QSize(1500, 1500));
    EXPECT_EQ(r->utType, "public.png");
}

TEST(NoteImageTest, RefusesWhatItCannotStore)
{
    EXPECT_EQ(NoteImage::normalised(QByteArray()).error(), NoteImage::NormaliseError::empty);
    EXPECT_EQ(NoteImage::normalised(QByteArray("plain words, not a picture")).error(),
              NoteImage::NormaliseError::unreadable);
    // A header claiming 40000 x 40000 pixels is refused before any pixel is decoded.
    const auto huge = NoteImage::normalised(hugePngHeader(40000, 40000));
    ASSERT_FALSE(huge);
    EXPECT_EQ(huge.error(), NoteImage::NormaliseError::tooLarge);
}

TEST(NoteImageTest, HashAndImage)
{
    const QByteArray bytes = encode(picture(4, 4, false), "png");
    EXPECT_EQ(NoteImage::hash(QByteArray()), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    NoteImage row;
    EXPECT_TRUE(row.image().isNull());
    row.setData(bytes);
    EXPECT_EQ(row.image().size(), QSize(4, 4));
}

// A drawing whose inline picture names a pipe is refused before any reader opens the pipe: pasted or
// dropped as a file, or handed to the store. (Were the pipe opened, the call would hang: the test ends
// that wait itself after a few seconds, by opening the pipe's other end.)
TEST(NoteImageTest, DrawingsThatReachOutsideAreRefusedWithoutOpeningAnything)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QByteArray head = R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" )"
                            R"(width="16" height="16">)";
    const QByteArray inner = head + R"(<image width="16" height="16" xlink:href=")" + fifo.toUtf8() + R"("/></svg>)";
    const QByteArray outer = head + R"(<image width="16" height="16" xlink:href="data:image/svg+xml;base64,)" +
                             inner.toBase64() + R"("/></svg>)";
    const QByteArray clean = head + R"(<rect width="16" height="16" fill="red"/></svg>)";
    const QString file = dir.filePath("x.svg");
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(outer);
    out.close();

    std::atomic<bool> done = false;
    std::optional<NoteImage::NormaliseError> storeError;
    std::optional<QString> pasteReason;
    std::thread worker([&] {
        storeError = NoteImage::normalised(outer).error();
        const auto read = TextPictures::readPictureFile(file);
        if (const auto* skipped = std::get_if<TextPictures::Skipped>(&read)) pasteReason = skipped->reason;
        done = true;
    });
    for (int i = 0; i < 500 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!done) {
        ADD_FAILURE() << "the pipe was opened";
        const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
    }
    worker.join();
    EXPECT_EQ(storeError, NoteImage::NormaliseError::refersOutside);
    EXPECT_EQ(pasteReason, QStringLiteral("it refers to files outside itself"));

    // A drawing that keeps to itself is still taken, redrawn as a bitmap.
    const auto redrawn = NoteImage::normalised(clean);
    ASSERT_TRUE(redrawn);
    EXPECT_EQ(redrawn->utType, "public.png");
    NoteImage row;
    row.setData(outer);  // a stored row from anywhere is judged the same way before it is drawn
    EXPECT_TRUE(row.image().isNull());
}

}  // namespace
