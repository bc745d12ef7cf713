#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include "BlockTestSupport.h"
#include "editor/DropPictures.h"
#include "editor/blocks/ImageBlockLayout.h"
#include "editor/blocks/PictureCache.h"
#include "editor/blocks/PreviewFiles.h"

using namespace tarnwick::test;
using namespace ImageBlockLayout;

namespace {

TEST(ImageBlockLayoutTest, DisplaySizeAndInsertionSizing)
{
    const QSizeF natural(1200, 800);
    struct Case {
        ImageSizing sizing;
        qreal paper;
        QSizeF expected;
    };
    const std::vector<Case> cases{
        {ImageSizing::makePreset(ImageSizing::Preset::small), 300, {100, 67}},
        {ImageSizing::makePreset(ImageSizing::Preset::medium), 300, {200, 133}},
        {ImageSizing::makePreset(ImageSizing::Preset::large), 300, {300, 200}},
        {ImageSizing::makeFit(), 300, {300, 200}},
        {ImageSizing::makeFraction(0.1), 300, {48, 32}},
        {ImageSizing::makeFraction(-1), 300, {48, 32}},
        // Above 1 (or not a number) draws and measures at the column width, never wider.
        {ImageSizing::makeFraction(3), 300, {300, 200}},
        {ImageSizing::makeFraction(1e300), 300, {300, 200}},
        {ImageSizing::makeFraction(std::numeric_limits<double>::infinity()), 300, {300, 200}},
        {ImageSizing::makeFit(), 30, {30, 20}},
    };
    for (const Case& c : cases) EXPECT_EQ(displaySize(natural, c.sizing, c.paper), c.expected) << c.paper;
    EXPECT_EQ(displaySize({40, 40}, ImageSizing::makeFit(), 300), QSizeF(48, 48));
    EXPECT_EQ(displaySize({0, 10}, ImageSizing::makeFit(), 300), QSizeF(0, 10));
    EXPECT_EQ(displaySize(natural, ImageSizing::makeFit(), 0), natural);

    // A 3000 px tall picture in a 400 point visible area shows exactly 400 tall; 80 or less: fit.
    const ImageSizing tall = insertionSizing({1000, 3000}, 400, 400.0);
    ASSERT_EQ(tall.kind(), ImageSizing::Kind::fraction);
    EXPECT_NEAR(displaySize({1000, 3000}, tall, 400).height(), 400, 3);
    EXPECT_EQ(insertionSizing({1000, 3000}, 400, 80.0), ImageSizing::makeFit());
    EXPECT_EQ(insertionSizing({1000, 3000}, 400, std::nullopt), ImageSizing::makeFit());
    EXPECT_EQ(insertionSizing({40, 30}, 400, 400.0), ImageSizing::makeFit());
}

TEST(ImageBlockLayoutTest, ResizeZonesAndGesture)
{
    const QRectF target(0, 8, 200, 100);  // bottom-right corner at (200, 108)
    const QRectF visible(0, 0, 300, 300);
    EXPECT_EQ(zoneAt(target, {216, 124}, visible), Zone::corner);
    EXPECT_EQ(zoneAt(target, {217, 124}, visible), std::nullopt);
    EXPECT_EQ(zoneAt(target, {-6, 50}, visible), Zone::leftEdge);
    EXPECT_EQ(zoneAt(target, {-7, 50}, visible), std::nullopt);
    EXPECT_EQ(zoneAt(target, {206, 50}, visible), Zone::rightEdge);
    EXPECT_EQ(zoneAt(target, {3, 8}, visible), Zone::leftEdge);  // level with the top edge
    EXPECT_EQ(zoneAt(std::nullopt, {200, 108}, visible), std::nullopt);
    // A right edge scrolled more than 6 points out of sight grabs nothing.
    EXPECT_EQ(zoneAt(target, {200, 50}, QRectF(0, 0, 193, 300)), std::nullopt);
    EXPECT_EQ(zoneAt(target, {200, 108}, QRectF(0, 0, 193, 300)), std::nullopt);

    // Corner drags follow the larger movement; a tie goes to dx.
    ResizeGesture corner(Zone::corner, QRectF(0, 0, 200, 100), {200, 100}, 400);
    EXPECT_DOUBLE_EQ(corner.move({210, 110}), 220.0 / 400);
    EXPECT_DOUBLE_EQ(corner.move({210, 105}), 210.0 / 400);
    ResizeGesture left(Zone::leftEdge, QRectF(0, 0, 200, 100), {0, 50}, 400);
    EXPECT_LT(left.move({30, 50}), 0.5);
    // A press without a drag commits nothing; commits snap to 1 near the column and stay in 0.02...1.
    EXPECT_EQ(ResizeGesture(Zone::corner, QRectF(0, 0, 200, 100), {200, 100}, 400).finish(), std::nullopt);
    EXPECT_EQ(ResizeGesture::committedFraction(390, 400), 1.0);
    EXPECT_EQ(ResizeGesture::committedFraction(-5, 400), 0.02);
    EXPECT_EQ(ResizeGesture::committedFraction(4000, 400), 1.0);
}

class ImageBlockTest : public ::testing::Test, public BlockFixture {};

TEST_F(ImageBlockTest, PicturesDecodeOnceOnlyNearTheVisibleArea)
{
    Note* n = addNote("Album");
    QStringList shape{"T:start"};
    QList<const NoteImage*> images;
    QHash<QString, NoteImage*> reuse;
    for (int i = 0; i < 40; ++i) {
        images << store->insertImageRow(picture(64 + i, 48, QColor::fromHsv(i * 9, 200, 200)), n->uuid(), reuse);
        shape << QStringLiteral("I:%1").arg(i) << QStringLiteral("T:line %1").arg(i);
    }
    n->setBlocks(blocks(shape, images));
    store->saveNow();
    auto& c = open(n, 420, 300);

    const int first = c.pictures().decodeCount();
    EXPECT_GT(first, 0);
    EXPECT_LT(c.pictures().heldCount(), 40);                                    // far pictures hold no pixels
    EXPECT_EQ(c.entries()[1].frame.height(), std::round(48.0 * 64 / 64) + 16);  // from the row, not the pixels

    c.layout();
    c.setWidth(380);
    c.setWidth(420);
    c.setViewport(20, 300);
    c.setViewport(0, 300);
    EXPECT_EQ(c.pictures().decodeCount(), first);  // relayout, width changes, small scrolls: nothing again

    c.setViewport(c.contentHeight() - 300, 300);
    EXPECT_GT(c.pictures().decodeCount(), first);
    EXPECT_LT(c.pictures().heldCount(), 40);
}

// A stored two-colour picture (1 bit a pixel) larger than the screen is shown in its own colours, not as
// black and white dither.
TEST_F(ImageBlockTest, APalettePictureLargerThanTheScreenIsShownInItsColours)
{
    QImage mono(2000, 2000, QImage::Format_Mono);
    mono.setColorTable({qRgb(0x30, 0x60, 0xC0), qRgb(0xE0, 0xA0, 0x20)});
    mono.fill(0);
    for (int y = 1000; y < 2000; ++y)
        for (int x = 0; x < 2000; ++x) mono.setPixel(x, y, 1);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(mono.save(&buffer, "PNG"));
    QHash<QString, NoteImage*> reuse;
    const NoteImage* row = store->insertImageRow(bytes, QUuid::createUuid(), reuse);
    ASSERT_EQ(row->data(), bytes);  // kept as it came: within 2048 px and 3 MiB

    PictureCache pictures(1280);
    const QImage shown = pictures.acquire(*row);
    ASSERT_EQ(shown.size(), QSize(1280, 1280));
    for (const QPoint& p : {QPoint(100, 100), QPoint(1100, 400), QPoint(640, 300)})
        EXPECT_EQ(shown.pixel(p), qRgb(0x30, 0x60, 0xC0)) << p.x() << "," << p.y();
    for (const QPoint& p : {QPoint(100, 700), QPoint(1100, 1200), QPoint(300, 900)})
        EXPECT_EQ(shown.pixel(p), qRgb(0xE0, 0xA0, 0x20)) << p.x() << "," << p.y();
}

TEST_F(ImageBlockTest, PreviewFilesArePrivateAndFollowTheRow)
{
    QTemporaryDir base;
    const QString dir = base.filePath("tarnwick/previews");
    NoteImage* jpeg = addImage(QUuid());
    jpeg->setData(picture(20, 10, Qt::green, "JPEG"));
    jpeg->setUtType("public.jpeg");
    {
        PreviewFiles files(dir);
        const QUuid noteID = QUuid::createUuid();
        const auto path = files.fileFor(*jpeg, noteID);
        ASSERT_TRUE(path);
        EXPECT_EQ(QFileInfo(*path).fileName(),
                  "tarnwick-" + jpeg->uuid().toString(QUuid::WithoutBraces).toUpper() + ".jpeg");
        EXPECT_EQ(QFileInfo(*path).permissions() & 0x0077, 0);
        EXPECT_EQ(QFile::permissions(*path),
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(dir).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);

        // Changed bytes are written again; a row without bytes gets no file.
        jpeg->setData(picture(30, 10, Qt::red, "JPEG"));
        ASSERT_TRUE(files.fileFor(*jpeg, noteID));
        QFile f(*path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), jpeg->data().value());
        NoteImage* empty = addImage(QUuid());
        empty->setData(std::nullopt);
        EXPECT_FALSE(files.fileFor(*empty, noteID));

        files.removeNote(noteID);
        EXPECT_FALSE(QFile::exists(*path));
        ASSERT_TRUE(files.fileFor(*jpeg, noteID));
    }
    EXPECT_TRUE(QDir(dir).entryList(QDir::Files).isEmpty());  // all gone when the editor goes

    QFile leftover(dir + "/tarnwick-OLD.png");
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.close();
    PreviewFiles(dir).sweepLeftovers();
    EXPECT_FALSE(leftover.exists());
}

TEST(DropPicturesTest, DropsAreBoundedToPictureFiles)
{
    QTemporaryDir dir;
    auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return QUrl::fromLocalFile(f.fileName());
    };
    const QUrl png = write("a.png", BlockFixture::picture(10, 10));
    const QUrl text = write("notes.txt", "hello");
    const QUrl fake = write("fake.png", "not a picture");
    const QString fifo = dir.filePath("pipe.png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    EXPECT_TRUE(DropPictures::carriesPicture({png}, {}));
    EXPECT_FALSE(DropPictures::carriesPicture({text}, {"text/plain"}));
    EXPECT_FALSE(DropPictures::carriesPicture({QUrl("https://example.com/a.png")}, {}));
    EXPECT_TRUE(DropPictures::carriesPicture({}, {"image/png"}));
    // What a note body refuses: files of this machine without a picture among them. A picture beside
    // a text file is taken (the text file is named as left out), and addresses on the web are text.
    EXPECT_TRUE(DropPictures::refusedOnBody({text}, {"text/uri-list", "text/plain"}));
    EXPECT_TRUE(DropPictures::refusedOnBody({text, fake.resolved(QUrl("notes.md"))}, {"text/uri-list"}));
    EXPECT_FALSE(DropPictures::refusedOnBody({text, png}, {"text/uri-list", "text/plain"}));
    EXPECT_FALSE(DropPictures::refusedOnBody({text}, {"text/uri-list", "image/png"}));
    EXPECT_FALSE(DropPictures::refusedOnBody({QUrl("https://example.com/page")}, {"text/uri-list", "text/plain"}));
    EXPECT_FALSE(DropPictures::refusedOnBody({}, {"text/plain"}));

    const DropPictures read =
        DropPictures::readFiles({png, text, fake, QUrl::fromLocalFile(fifo), QUrl("https://example.com/b.png")});
    EXPECT_EQ(read.images.size(), 1u);
    EXPECT_EQ(read.skipped.size(), 3);  // the remote one is never fetched nor named

    QList<QUrl> many(DropPictures::maxPictures + 3, png);
    const DropPictures capped = DropPictures::readFiles(many);
    EXPECT_EQ(int(capped.images.size()), DropPictures::maxPictures);
    EXPECT_EQ(capped.skipped.size(), 3);
}

}  // namespace
