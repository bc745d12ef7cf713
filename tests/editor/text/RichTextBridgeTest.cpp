#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>

#include "design/TarnwickTheme.h"
#include "editor/text/MarkdownAutoFormat.h"
#include "editor/text/RichNSTextView.h"
#include "editor/text/RichTextBridge.h"

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
    done.foreground = MarkdownAutoFormat::doneColor();
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
    EXPECT_EQ(d.foreground, MarkdownAutoFormat::doneColor());
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
    EXPECT_EQ(RichNSTextView::attachmentBytes(file), QByteArray("JPEGDATA"));

    TextAttachment image;
    image.image = QImage(3, 5, QImage::Format_ARGB32);
    image.image.fill(Qt::red);
    const auto png = RichNSTextView::attachmentBytes(image);
    ASSERT_TRUE(png);
    QBuffer buffer;
    buffer.setData(*png);
    QImageReader reader(&buffer);
    EXPECT_EQ(reader.format(), "png");
    EXPECT_EQ(reader.read().size(), QSize(3, 5));

    EXPECT_FALSE(RichNSTextView::attachmentBytes(TextAttachment{}));
}
