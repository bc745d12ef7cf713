#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include "platform/PictureGuard.h"

namespace {

QByteArray svg(const QByteArray& inside, const QByteArray& prologue = {})
{
    return prologue +
           R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" )"
           R"(width="16" height="16">)" +
           inside + "</svg>";
}

// A drawing that shows `inner` as an inline picture, the way an icon or a paste can carry one.
QByteArray nesting(const QByteArray& inner, const QByteArray& attribute = "xlink:href")
{
    return svg("<image width=\"16\" height=\"16\" " + attribute + "=\"data:image/svg+xml;base64," + inner.toBase64() +
               "\"/>");
}

QByteArray png()
{
    QImage image(2, 2, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    return bytes;
}

}  // namespace

// A drawing is drawn only when everything it shows is inside it, however deep inline drawings nest.
TEST(PictureGuardTest, DrawingsAreJudgedByEverythingTheyReferToAtEveryDepth)
{
    const QByteArray pipe = svg(R"(<image width="16" height="16" xlink:href="/tmp/tarnwick-pipe"/>)");
    const QByteArray clean = svg(R"(<defs><rect id="r" width="4" height="4"/></defs><use xlink:href="#r"/>)");
    const QByteArray raster =
        svg(R"(<image width="2" height="2" href="data:image/png;base64,)" + png().toBase64() + R"("/>)");
    const struct {
        const char* name;
        QByteArray bytes;
        bool selfContained;
    } cases[] = {
        {"raster", png(), true},
        {"clean", clean, true},
        {"inline raster", raster, true},
        {"inline clean drawing", nesting(clean), true},
        {"clean two deep", nesting(nesting(clean)), true},
        {"names a file", pipe, false},
        {"names a file one deep", nesting(pipe), false},
        {"names a file two deep", nesting(nesting(pipe)), false},
        {"other prefix one deep", nesting(pipe, "l:href"), false},
        {"too deep even if clean", nesting(nesting(nesting(nesting(clean)))), false},
        {"file URL", svg(R"(<image href="file:///tmp/x.png"/>)"), false},
        {"web address", svg(R"(<image xlink:href="https://example.com/a.png"/>)"), false},
        {"another document", svg(R"(<use xlink:href="other.svg#r"/>)"), false},
        // The decoder takes an <image> that does not start with "data" (case and all) for a file name.
        {"image of an id", svg(R"(<image xlink:href="#r"/>)"), false},
        {"upper-case scheme", svg(R"(<image xlink:href="DATA:image/png;base64,AAAA"/>)"), false},
        {"leading blank", svg(R"(<image xlink:href="  /tmp/x"/>)"), false},
        {"entity", svg("<text>&x;</text>", R"(<!DOCTYPE svg [<!ENTITY x SYSTEM "/etc/passwd">]>)"), false},
        {"style sheet", svg({}, R"(<?xml version="1.0"?><?xml-stylesheet href="/tmp/s.css"?>)"), false},
        {"import in pieces", svg("<style><![CDATA[@im]]><![CDATA[port url(/tmp/s.css);]]></style>"), false},
        {"import in a style", svg(R"x(<g style="@import url(/tmp/s.css)"/>)x"), false},
        {"compressed", QByteArray("\x1f\x8b\x08\x00", 4) + clean, false},
        {"broken", svg("<rect").chopped(6), false},
    };
    for (const auto& c : cases) EXPECT_EQ(PictureGuard::selfContained(c.bytes), c.selfContained) << c.name;
    EXPECT_TRUE(PictureGuard::isDrawing(clean));
    EXPECT_FALSE(PictureGuard::isDrawing(png()));
}
