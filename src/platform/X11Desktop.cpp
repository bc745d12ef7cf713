#include "platform/X11Desktop.h"

#include "platform/XcbSupport.h"

#include <QtEndian>
#include <cstdlib>
#include <cstring>

namespace {
using XcbSupport::atom;
using XcbSupport::connection;
using XcbSupport::selectionOwner;
}  // namespace

std::optional<qint32> X11Desktop::xsettingsInteger(const QString& name)
{
    xcb_connection_t* c = connection();
    if (!c) return std::nullopt;
    const xcb_window_t owner = selectionOwner(c, "_XSETTINGS_S0");
    if (owner == XCB_WINDOW_NONE) return std::nullopt;
    const xcb_atom_t prop = atom(c, "_XSETTINGS_SETTINGS");
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, owner, prop, prop, 0, 1u << 16), nullptr);
    if (!reply) return std::nullopt;
    const QByteArray data(static_cast<const char*>(xcb_get_property_value(reply)),
                          xcb_get_property_value_length(reply));
    free(reply);
    return parseXSettingsInteger(data, name);
}

bool X11Desktop::reduceMotion()
{
    const auto animations = xsettingsInteger(QStringLiteral("Gtk/EnableAnimations"));
    return animations && *animations == 0;
}

// Layout: byte order, 3 bytes of padding, serial, count; then per entry type (0 integer, 1 string,
// 2 colour), a pad byte, the name's length and name padded to 4, the last-change serial and the value.
std::optional<qint32> X11Desktop::parseXSettingsInteger(const QByteArray& data, const QString& name)
{
    if (data.size() < 12) return std::nullopt;
    const bool big = data.at(0) != 0;
    const auto u16 = [&](qsizetype at) -> quint16 {
        return big ? qFromBigEndian<quint16>(data.constData() + at) : qFromLittleEndian<quint16>(data.constData() + at);
    };
    const auto u32 = [&](qsizetype at) -> quint32 {
        return big ? qFromBigEndian<quint32>(data.constData() + at) : qFromLittleEndian<quint32>(data.constData() + at);
    };
    const auto padded = [](qsizetype n) { return (n + 3) & ~qsizetype(3); };
    const QByteArray wanted = name.toUtf8();
    const quint32 count = u32(8);
    qsizetype at = 12;
    for (quint32 i = 0; i < count; ++i) {
        if (at + 4 > data.size()) return std::nullopt;
        const quint8 type = quint8(data.at(at));
        const qsizetype nameLength = u16(at + 2);
        const qsizetype nameAt = at + 4;
        at = nameAt + padded(nameLength) + 4;  // past the serial
        if (at > data.size()) return std::nullopt;
        const QByteArray entry = data.mid(nameAt, nameLength);
        switch (type) {
            case 0:
                if (at + 4 > data.size()) return std::nullopt;
                if (entry == wanted) return qint32(u32(at));
                at += 4;
                break;
            case 1:
                if (at + 4 > data.size()) return std::nullopt;
                at += 4 + padded(qsizetype(u32(at)));
                break;
            case 2:
                at += 8;
                break;
            default:
                return std::nullopt;
        }
    }
    return std::nullopt;
}
