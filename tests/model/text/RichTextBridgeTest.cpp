#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include "design/TarnwickTheme.h"
#include "model/text/RichTextBridge.h"
#include "model/text/TextPictures.h"

TEST(RichTextBridgeTest, ColoursMatchWithinTwoHundredthsPerChannel)
{
    const QColor ink = QColor::fromRgbF(0.5f, 0.5f, 0.5f);
    EXPECT_TRUE(RichTextBridge::matches(ink, QColor::fromRgbF(0.519f, 0.481f, 0.519f)));
    EXPECT_FALSE(RichTextBridge::matches(ink, QColor::fromRgbF(0.521f, 0.5f, 0.5f)));
    EXPECT_FALSE(RichTextBridge::matches(ink, QColor::fromRgbF(0.5f, 0.5f, 0.47f)));
    EXPECT_TRUE(RichTextBridge::matches(ink, QColor::fromRgbF(0.5f, 0.5f, 0.5f, 0.1f)));  // opacity is not compared
    EXPECT_TRUE(RichTextBridge::matches(QColor::fromHsvF(0, 0, 0.5f), ink));              // other colour models convert
    EXPECT_FALSE(RichTextBridge::matches(QColor(), QColor()));
}

TEST(RichTextBridgeTest, ConversionKeepsCharactersAndOnlyTheReducedStyles)
{
    const QString chars = "Head body \U0001F600 done";
    AttributedText source(chars);
    TextAttributes heading;
    heading.font = TextFont{"Georgia", 22, 400, false};
    heading.foreground = QColor(Qt::blue);
    heading.link = QString("x");
    source.setAttributes(0, 5, heading);
    TextAttributes body;
    body.font = TextFont{"Georgia", 15, 700, true};
    body.underline = 2;
    source.setAttributes(5, 7, body);
    TextAttributes done;
    done.font = TextFont{QString(), 18, 400, false};
    done.foreground = RichTextBridge::doneColor();
    done.strikethrough = 1;
    source.setAttributes(13, 4, done);

    const AttributedText result = RichTextBridge::toNSAttributed(source, RichTextBridge::FontContext{});
    EXPECT_EQ(result.text(), chars);

    const TextAttributes h = result.attributesAt(0);
    EXPECT_EQ(h.font, (TextFont{QString(), 20, 600, false}));
    EXPECT_EQ(h.foreground, TarnwickTheme::textPrimary());  // colours other than the done colour are not kept
    EXPECT_FALSE(h.link);
    ASSERT_TRUE(h.paragraphStyle);
    EXPECT_GE(h.paragraphStyle->lineSpacing, 0);
    EXPECT_LT(h.paragraphStyle->lineSpacing, RichTextBridge::defaultLineHeight);

    const TextAttributes b = result.attributesAt(6);
    EXPECT_EQ(b.font, (TextFont{QString(), 14.5, 700, true}));
    EXPECT_EQ(b.underline, 1);

    const TextAttributes d = result.attributesAt(14);
    EXPECT_EQ(d.font, (TextFont{QString(), 17, 600, false}));
    EXPECT_EQ(d.foreground, RichTextBridge::doneColor());
    EXPECT_EQ(d.strikethrough, 1);

    // Without a context every run is body text.
    const AttributedText plain = RichTextBridge::toNSAttributed(source, std::nullopt);
    EXPECT_EQ(plain.attributesAt(0).font, (TextFont{QString(), 14.5, 400, false}));
}

TEST(RichTextBridgeTest, AttachmentBytesPreferFileContentsThenPng)
{
    TextAttachment file;
    file.fileContents = "JPEGDATA";
    file.image = QImage(2, 2, QImage::Format_RGB32);
    EXPECT_EQ(TextPictures::attachmentBytes(file), QByteArray("JPEGDATA"));

    TextAttachment image;
    image.image = QImage(3, 5, QImage::Format_ARGB32);
    image.image.fill(Qt::red);
    const auto png = TextPictures::attachmentBytes(image);
    ASSERT_TRUE(png);
    QBuffer buffer;
    buffer.setData(*png);
    QImageReader reader(&buffer);
    EXPECT_EQ(reader.format(), "png");
    EXPECT_EQ(reader.read().size(), QSize(3, 5));

    EXPECT_FALSE(TextPictures::attachmentBytes(TextAttachment{}));
}

TEST(RichTextBridgeTest, DesignPointsBecomeThreeQuartersOfAQtPointAndComeBack)
{
    const TextFont font{QString(), 14.5, 700, true};
    const QFont q = font.toQFont();
    EXPECT_DOUBLE_EQ(q.pointSizeF(), 14.5 * 0.75);
    EXPECT_TRUE(q.italic());
    EXPECT_EQ(TextFont::fromQFont(q), font);
    // A line of the body font is about as tall as its design size suggests, so no spacing is lost.
    const qreal spacing = RichTextBridge::lineSpacing(RichTextBridge::defaultLineHeight, font);
    EXPECT_GT(spacing, 0);
    EXPECT_LT(spacing, 10);
}

TEST(RichTextBridgeTest, RestylingReinksOnlyTheOldInkAndKeepsTraits)
{
    ResolvedNoteTheme dark;
    dark.ink = QColor("#EEEEEE");
    const QColor oldInk("#222222");
    AttributedText text("ink none red done");
    TextAttributes ink;
    ink.font = TextFont{QString(), 14.5, 700, false};
    ink.foreground = oldInk;
    text.setAttributes(0, 3, ink);
    TextAttributes red;
    red.foreground = QColor(Qt::red);
    text.setAttributes(9, 3, red);
    TextAttributes done;
    done.foreground = RichTextBridge::doneColor();
    text.setAttributes(13, 4, done);

    const AttributedText result = RichTextBridge::restyled(text, dark, oldInk);
    EXPECT_EQ(result.attributesAt(0).foreground, dark.ink);
    EXPECT_TRUE(result.attributesAt(0).font->isBold());
    EXPECT_EQ(result.attributesAt(5).foreground, dark.ink);  // no colour counts as the old ink
    EXPECT_EQ(result.attributesAt(9).foreground, QColor(Qt::red));
    EXPECT_EQ(result.attributesAt(13).foreground, RichTextBridge::doneColor());
}

TEST(RichTextBridgeTest, PictureFilesAreReadOnlyWhenRegularAndBounded)
{
    const QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    const QString png = dir + "/p.png";
    ASSERT_TRUE(image.save(png));
    EXPECT_TRUE(std::holds_alternative<QByteArray>(TextPictures::readPictureFile(png)));

    const QString fifo = dir + "/fifo.png";
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QString big = dir + "/big.png";
    QFile file(big);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(TextPictures::maximumBytes + 1));
    file.close();
    const QString text = dir + "/notes.txt";
    QFile plain(text);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.write("hello");
    plain.close();
    const QString linkToFifo = dir + "/link.png", linkToZero = dir + "/zero.png";
    ASSERT_TRUE(QFile::link(fifo, linkToFifo));
    ASSERT_TRUE(QFile::link("/dev/zero", linkToZero));
    for (const QString& path : {fifo, big, text, dir + "/missing.png", dir, linkToFifo, linkToZero,
                                QString("/dev/zero"), QString("/proc/self/status")}) {
        const auto result = TextPictures::readPictureFile(path);
        ASSERT_TRUE(std::holds_alternative<TextPictures::Skipped>(result)) << path.toStdString();
        EXPECT_FALSE(std::get<TextPictures::Skipped>(result).reason.isEmpty());
    }
}
