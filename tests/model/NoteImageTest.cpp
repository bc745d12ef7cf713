#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
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

// Pictures of the depths and kinds users paste, made by ImageMagick (Qt writes few of them), each
// taller or wider than 2048 px so that it is redrawn: the stored picture keeps the source's colours,
// read in the middle of each half (a solid colour in each, so the encoder's loss is small).
TEST(NoteImageTest, RedrawnPicturesKeepTheirColoursWhateverTheirDepthAndKind)
{
    const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
    ASSERT_FALSE(convert.isEmpty()) << "ImageMagick's convert makes these pictures (scripts/install-deps.sh test)";
    QTemporaryDir dir;
    const QString a = QStringLiteral("#3060C0"), b = QStringLiteral("#E0A020");
    const auto halves = [](const QString& top, const QString& bottom, QStringList rest = {}) {
        return QStringList{"-size", "400x1500", "xc:" + top, "-size", "400x1500", "xc:" + bottom, "-append"} + rest;
    };
    const QStringList palette1{"-define", "png:exclude-chunk=bKGD", "-define", "png:bit-depth=1",
                               "-define", "png:color-type=3"};
    struct Case {
        const char* kind;
        QStringList args;
        QString output;  // ImageMagick's output name, %1 the file
        QColor first, second;
        const char* type;
    };
    const QColor grey1(0x44, 0x44, 0x44), grey2(0xDD, 0xDD, 0xDD);
    // Two frames, the second of another colour: only the first is kept.
    const QStringList twoFrames{"-size", "3000x400", "xc:" + a, "-size", "3000x400", "xc:" + b};
    const Case cases[] = {
        {"1-bit palette of one colour", {"-size", "400x3000", "xc:" + a}, "%1.png", a, a, "public.jpeg"},
        {"1-bit palette", halves(a, b, palette1), "%1.png", a, b, "public.jpeg"},
        {"2-bit palette", halves(a, b, {"-define", "png:bit-depth=2", "-define", "png:color-type=3"}), "%1.png", a, b,
         "public.jpeg"},
        {"4-bit palette", halves(a, b, {"-define", "png:bit-depth=4", "-define", "png:color-type=3"}), "%1.png", a, b,
         "public.jpeg"},
        {"16-bit colour", halves(a, b, {"-depth", "16"}), "PNG48:%1.png", a, b, "public.jpeg"},
        {"1-bit grey", halves("black", "white", {"-type", "bilevel"}), "%1.png", Qt::black, Qt::white, "public.jpeg"},
        {"4-bit grey", halves(grey1.name(), grey2.name(), {"-type", "grayscale", "-depth", "4"}), "%1.png", grey1,
         grey2, "public.jpeg"},
        {"16-bit grey", halves(grey1.name(), grey2.name(), {"-type", "grayscale", "-depth", "16"}), "%1.png", grey1,
         grey2, "public.jpeg"},
        {"grey with alpha", halves("graya(40%,0.5)", "graya(80%,1)", {"-define", "png:color-type=4"}), "%1.png",
         QColor(102, 102, 102, 128), QColor(204, 204, 204), "public.png"},
        {"palette with transparency", halves("none", b), "PNG8:%1.png", QColor(0, 0, 0, 0), b, "public.png"},
        {"interlaced", halves(a, b, {"-interlace", "PNG"}), "%1.png", a, b, "public.jpeg"},
        {"CMYK JPEG", halves(a, b, {"-colorspace", "CMYK"}), "%1.jpg", a, b, "public.jpeg"},
        {"1-bit BMP", halves(a, b, {"-type", "palette"}), "BMP3:%1.bmp", a, b, "public.jpeg"},
        {"GIF's first frame", twoFrames, "%1.gif", a, a, "public.jpeg"},
    };
    const auto near = [](const QColor& seen, const QColor& wanted) {
        if (wanted.alpha() == 0) return seen.alpha() == 0;
        return std::abs(seen.red() - wanted.red()) <= 6 && std::abs(seen.green() - wanted.green()) <= 6 &&
               std::abs(seen.blue() - wanted.blue()) <= 6 && std::abs(seen.alpha() - wanted.alpha()) <= 2;
    };
    int n = 0;
    for (const Case& c : cases) {
        const QString output = c.output.arg(dir.filePath(QString::number(n++)));
        QProcess magick;
        magick.start(convert, c.args + QStringList{output});
        ASSERT_TRUE(magick.waitForFinished(30000) && magick.exitCode() == 0)
            << c.kind << magick.readAllStandardError().data();
        QFile file(output.mid(output.indexOf(':') + 1));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << c.kind;
        const auto r = NoteImage::normalised(file.readAll());
        ASSERT_TRUE(r) << c.kind;
        EXPECT_EQ(r->utType, QLatin1String(c.type)) << c.kind;
        const QImage stored = QImage::fromData(r->data);
        const bool tall = stored.height() > stored.width();
        EXPECT_EQ(stored.size(), tall ? QSize(273, 2048) : QSize(2048, 273)) << c.kind;
        const QColor first = stored.pixelColor(tall ? QPoint(136, 512) : QPoint(512, 136));
        const QColor second = stored.pixelColor(tall ? QPoint(136, 1536) : QPoint(1536, 136));
        EXPECT_TRUE(near(first, c.first)) << c.kind << ": " << qPrintable(first.name(QColor::HexArgb));
        EXPECT_TRUE(near(second, c.second)) << c.kind << ": " << qPrintable(second.name(QColor::HexArgb));
    }
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
