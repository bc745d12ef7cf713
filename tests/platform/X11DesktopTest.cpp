#include <gtest/gtest.h>

#include <QtEndian>

#include "platform/X11Desktop.h"

namespace {

// An _XSETTINGS_SETTINGS value: a string entry, then integers, in either byte order.
QByteArray settingsBlob(bool bigEndian, quint32 count = 3)
{
    QByteArray out;
    const auto u32 = [&](quint32 v) {
        char b[4];
        bigEndian ? qToBigEndian(v, b) : qToLittleEndian(v, b);
        out.append(b, 4);
    };
    const auto entry = [&](quint8 type, const QByteArray& name) {
        out.append(char(type)).append('\0');
        char n[2];
        bigEndian ? qToBigEndian(quint16(name.size()), n) : qToLittleEndian(quint16(name.size()), n);
        out.append(n, 2).append(name).append(QByteArray((4 - name.size() % 4) % 4, '\0'));
        u32(0);  // last change
    };
    out.append(char(bigEndian ? 1 : 0)).append(3, '\0');
    u32(7);
    u32(count);
    entry(1, "Net/ThemeName");
    u32(5);
    out.append("Adwai").append(3, '\0');
    entry(0, "Gtk/EnableAnimations");
    u32(0);
    entry(0, "Net/DoubleClickTime");
    u32(400);
    return out;
}

TEST(X11Desktop, XSettingsIntegersInBothByteOrdersAndMalformedValues)
{
    for (bool big : {false, true}) {
        EXPECT_EQ(X11Desktop::parseXSettingsInteger(settingsBlob(big), "Gtk/EnableAnimations"), 0) << big;
        EXPECT_EQ(X11Desktop::parseXSettingsInteger(settingsBlob(big), "Net/DoubleClickTime"), 400) << big;
        EXPECT_EQ(X11Desktop::parseXSettingsInteger(settingsBlob(big), "Net/ThemeName"), std::nullopt);
    }
    const QByteArray whole = settingsBlob(false, 1000);  // claims more entries than it holds
    for (qsizetype cut = 0; cut < whole.size(); ++cut)
        EXPECT_EQ(X11Desktop::parseXSettingsInteger(whole.left(cut), "Missing"), std::nullopt);
}

}  // namespace
