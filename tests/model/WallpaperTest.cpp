#include <gtest/gtest.h>

#include <QBuffer>

#include "model/WallpaperCache.h"

namespace {

TEST(WallpaperRefTest, ParsesOnlyTheTwoExactForms)
{
    EXPECT_FALSE(WallpaperRef::parse(std::nullopt));
    for (const char* text : {"", "stock.Oat", "stock.", "oat", "Stock.oat", "user", "stock.oat "})
        EXPECT_FALSE(WallpaperRef::parse(QString::fromLatin1(text))) << text;
    EXPECT_EQ(WallpaperRef::parse("stock.oat"), WallpaperRef::makeStock(WallpaperStock::oat));
    EXPECT_EQ(WallpaperRef::parse("user:"), WallpaperRef::makeUser(QString()));
    EXPECT_EQ(WallpaperRef::parse("user:ABC"), WallpaperRef::makeUser("ABC"));
    EXPECT_NE(WallpaperRef::makeUser("oat"), WallpaperRef::makeStock(WallpaperStock::oat));
    for (WallpaperStock s : WallpaperStock::allCases()) {
        const auto ref = WallpaperRef::makeStock(s);
        EXPECT_EQ(WallpaperRef::parse(ref.text()), ref);
    }
}

TEST(WallpaperCacheTest, StockImagesAreKeyedByRoundedSize)
{
    EXPECT_EQ(WallpaperCache::stockKey(WallpaperStock::linen, {384, 256}), "linen@384x256");
    EXPECT_EQ(WallpaperCache::stockKey(WallpaperStock::oat, {100, 30}), "oat@128x64");
    EXPECT_EQ(WallpaperCache::roundedSize({130, 200}), QSize(192, 256));
    EXPECT_EQ(WallpaperCache::roundedSize({0, 0}), QSize(64, 64));

    WallpaperCache cache;
    const auto ref = WallpaperRef::makeStock(WallpaperStock::grid);
    const auto a = cache.image(ref, {300, 300}, {});
    const auto b = cache.image(ref, {320, 310}, {});
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->size(), QSize(320, 320));
    EXPECT_EQ(a->cacheKey(), b->cacheKey()) << "the same cached image";
    EXPECT_NE(cache.image(ref, {321, 310}, {})->cacheKey(), a->cacheKey());
}

TEST(WallpaperCacheTest, UserPicturesAreFetchedUntilOneDecodes)
{
    WallpaperCache cache;
    const auto ref = WallpaperRef::makeUser("W1");
    int calls = 0;
    std::optional<QByteArray> bytes;
    auto fetch = [&] {
        ++calls;
        return bytes;
    };
    EXPECT_FALSE(cache.image(ref, {100, 100}, fetch));
    bytes = QByteArray("not a picture");
    EXPECT_FALSE(cache.image(ref, {100, 100}, fetch));
    EXPECT_EQ(calls, 2);

    QImage picture(8, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    bytes = png;
    ASSERT_TRUE(cache.image(ref, {100, 100}, fetch));
    EXPECT_EQ(cache.image(ref, {900, 50}, fetch)->size(), QSize(8, 4)) << "any size is served from the cache";
    EXPECT_EQ(calls, 3);
}

// Mean darkness of one image row (0 white .. 1 black).
double rowDarkness(const QImage& image, int y)
{
    double sum = 0;
    for (int x = 0; x < image.width(); ++x) sum += 1.0 - QColor(image.pixel(x, y)).valueF();
    return sum / image.width();
}

TEST(WallpaperCacheTest, DrawsWashesAndLines)
{
    // Gradient-only patterns stay within their two wash colours.
    for (WallpaperStock s : {WallpaperStock::dawn, WallpaperStock::dusk, WallpaperStock::meadow}) {
        const QImage image = WallpaperCache::draw(s, {64, 64});
        const auto wash = s.wash();
        for (int y = 0; y < 64; y += 7) {
            for (int x = 0; x < 64; x += 7) {
                const QColor c = image.pixelColor(x, y);
                EXPECT_EQ(c.alpha(), 255);
                EXPECT_GE(c.red(), std::min(wash.start.red(), wash.end.red()) - 1) << qPrintable(s.rawValue());
                EXPECT_LE(c.red(), std::max(wash.start.red(), wash.end.red()) + 1) << qPrintable(s.rawValue());
            }
        }
    }
    // The grid's horizontal lines fall every 12 points; rows between them are lighter.
    const QImage grid = WallpaperCache::draw(WallpaperStock::grid, {64, 64});
    for (int line : {16, 28, 40}) {
        const double onLine = std::max(rowDarkness(grid, line - 1), rowDarkness(grid, line));
        EXPECT_GT(onLine, rowDarkness(grid, line + 5) + 0.02) << line;
    }
    EXPECT_EQ(WallpaperCache::draw(WallpaperStock::oat, {0.4, 0}).size(), QSize(1, 1));
    EXPECT_EQ(WallpaperCache::draw(WallpaperStock::rule, {100.7, 30.2}).size(), QSize(100, 30));
}

}  // namespace
