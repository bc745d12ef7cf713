#include "platform/BinaryPropertyList.h"

#include <cstring>
#include <limits>

namespace {

constexpr qsizetype kHeaderSize = 8;
constexpr qsizetype kTrailerSize = 32;

class Reader {
public:
    Reader(const QByteArray& bytes, qsizetype end) : m_bytes(bytes), m_end(end) {}

    // Big-endian unsigned integer of 1 to 8 bytes at an offset; false when it does not fit in the region.
    bool readUnsigned(qsizetype offset, int width, quint64& value) const
    {
        if (width < 1 || width > 8 || offset < 0 || offset > m_end - width) return false;
        value = 0;
        for (int i = 0; i < width; ++i) value = (value << 8) | quint8(m_bytes[offset + i]);
        return true;
    }
    bool has(qsizetype offset, qsizetype count) const { return offset >= 0 && count >= 0 && count <= m_end - offset; }
    const char* at(qsizetype offset) const { return m_bytes.constData() + offset; }

private:
    const QByteArray& m_bytes;
    qsizetype m_end;
};

}  // namespace

Result<BinaryPropertyList, BinaryPropertyList::Error> BinaryPropertyList::parse(const QByteArray& bytes,
                                                                                const Limits& limits)
{
    using R = Result<BinaryPropertyList, Error>;
    auto malformed = [](const QString& detail) { return R::failure(Error{false, detail}); };
    auto tooMuch = [](const QString& detail) { return R::failure(Error{true, detail}); };
    if (bytes.size() > limits.maxBytes) return tooMuch(QStringLiteral("property list too large"));
    if (bytes.size() < kHeaderSize + kTrailerSize || !bytes.startsWith("bplist00"))
        return malformed(QStringLiteral("not a binary property list"));

    const qsizetype trailer = bytes.size() - kTrailerSize;
    const Reader whole(bytes, bytes.size());
    quint64 offsetSize = 0, refSize = 0, objectCount = 0, top = 0, tableOffset = 0;
    whole.readUnsigned(trailer + 6, 1, offsetSize);
    whole.readUnsigned(trailer + 7, 1, refSize);
    whole.readUnsigned(trailer + 8, 8, objectCount);
    whole.readUnsigned(trailer + 16, 8, top);
    whole.readUnsigned(trailer + 24, 8, tableOffset);
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8) return malformed(QStringLiteral("bad trailer"));
    if (objectCount == 0) return malformed(QStringLiteral("no objects"));
    if (objectCount > quint64(limits.maxObjects)) return tooMuch(QStringLiteral("too many objects"));
    if (top >= objectCount) return malformed(QStringLiteral("top object out of range"));
    if (tableOffset < quint64(kHeaderSize) || tableOffset > quint64(trailer) ||
        objectCount > (quint64(trailer) - tableOffset) / offsetSize)
        return malformed(QStringLiteral("offset table out of range"));

    // Objects live between the header and the offset table.
    const Reader objects(bytes, qsizetype(tableOffset));
    qsizetype budget = limits.maxBytes;
    bool overBudget = false;
    auto spend = [&budget, &overBudget](qsizetype amount) {
        if (amount < 0 || amount > budget) {
            overBudget = true;
            return false;
        }
        budget -= amount;
        return true;
    };

    BinaryPropertyList list;
    list.m_top = quint32(top);
    list.m_objects.resize(objectCount);
    for (quint64 index = 0; index < objectCount; ++index) {
        quint64 offset = 0;
        whole.readUnsigned(qsizetype(tableOffset + index * offsetSize), int(offsetSize), offset);
        if (offset < quint64(kHeaderSize) || offset >= tableOffset)
            return malformed(QStringLiteral("object offset out of range"));
        qsizetype pos = qsizetype(offset);
        const quint8 marker = quint8(bytes[pos++]);
        const int high = marker >> 4;
        const int low = marker & 0x0F;
        Object& object = list.m_objects[index];

        // Length of data, strings and containers: the low nibble, or an integer object after the marker.
        auto readLength = [&](qsizetype& length) {
            if (low != 0x0F) {
                length = low;
                return true;
            }
            if (!objects.has(pos, 1)) return false;
            const quint8 intMarker = quint8(bytes[pos++]);
            const int width = 1 << (intMarker & 0x0F);
            quint64 value = 0;
            if ((intMarker >> 4) != 0x1 || width > 8 || !objects.readUnsigned(pos, width, value)) return false;
            pos += width;
            if (value > quint64(limits.maxBytes)) return false;
            length = qsizetype(value);
            return true;
        };
        auto readRefs = [&](qsizetype count) {
            if (quint64(count) > (tableOffset - quint64(pos)) / refSize || !spend(count * qsizetype(sizeof(quint32))))
                return false;
            object.refs.reserve(size_t(count));
            for (qsizetype i = 0; i < count; ++i) {
                quint64 ref = 0;
                objects.readUnsigned(pos, int(refSize), ref);
                pos += qsizetype(refSize);
                if (ref >= objectCount) return false;
                object.refs.push_back(quint32(ref));
            }
            return true;
        };

        bool ok = true;
        qsizetype length = 0;
        switch (high) {
            case 0x0:
                if (marker == 0x00 || marker == 0x0F) {
                    object.kind = Kind::Null;
                } else if (marker == 0x08 || marker == 0x09) {
                    object.kind = Kind::Bool;
                    object.boolean = marker == 0x09;
                } else {
                    ok = false;
                }
                break;
            case 0x1: {
                object.kind = Kind::Integer;
                quint64 value = 0;
                if (low <= 3) {
                    const int width = 1 << low;
                    ok = objects.readUnsigned(pos, width, value);
                    // Only the 8-byte form is signed.
                    object.integer = qint64(value);
                } else if (low == 4) {
                    // 16-byte integers are accepted when they fit in 64 bits.
                    quint64 upper = 0;
                    ok = objects.readUnsigned(pos, 8, upper) && objects.readUnsigned(pos + 8, 8, value) &&
                         ((upper == 0 && qint64(value) >= 0) || (upper == ~quint64(0) && qint64(value) < 0));
                    object.integer = qint64(value);
                } else {
                    ok = false;
                }
                break;
            }
            case 0x2:
            case 0x3: {
                object.kind = high == 0x2 ? Kind::Real : Kind::Date;
                quint64 raw = 0;
                if (high == 0x3 && marker != 0x33) {
                    ok = false;
                } else if (low == 2) {
                    quint32 bits = 0;
                    ok = objects.readUnsigned(pos, 4, raw);
                    bits = quint32(raw);
                    float f;
                    std::memcpy(&f, &bits, sizeof f);
                    object.real = f;
                } else if (low == 3) {
                    ok = objects.readUnsigned(pos, 8, raw);
                    std::memcpy(&object.real, &raw, sizeof raw);
                } else {
                    ok = false;
                }
                break;
            }
            case 0x4:
                object.kind = Kind::Data;
                ok = readLength(length) && objects.has(pos, length) && spend(length);
                if (ok) object.data = QByteArray(objects.at(pos), length);
                break;
            case 0x5:
                object.kind = Kind::String;
                ok = readLength(length) && objects.has(pos, length) && spend(length * 2);
                if (ok) object.string = QString::fromLatin1(objects.at(pos), length);
                break;
            case 0x6:
                object.kind = Kind::String;
                ok = readLength(length) && length <= limits.maxBytes / 2 && objects.has(pos, length * 2) &&
                     spend(length * 2);
                if (ok) {
                    object.string.resize(length);
                    for (qsizetype i = 0; i < length; ++i) {
                        quint64 unit = 0;
                        objects.readUnsigned(pos + 2 * i, 2, unit);
                        object.string[i] = QChar(char16_t(unit));
                    }
                }
                break;
            case 0x8: {
                object.kind = Kind::Uid;
                quint64 value = 0;
                ok = objects.readUnsigned(pos, low + 1, value) && value <= quint64(std::numeric_limits<qint64>::max());
                object.integer = qint64(value);
                break;
            }
            case 0xA:
            case 0xC:
                object.kind = high == 0xA ? Kind::Array : Kind::Set;
                ok = readLength(length) && readRefs(length);
                break;
            case 0xD:
                object.kind = Kind::Dictionary;
                ok = readLength(length) && length <= limits.maxBytes / 2 && readRefs(length * 2);
                break;
            default:
                ok = false;
        }
        if (overBudget) return tooMuch(QStringLiteral("contents beyond the size limit"));
        if (!ok) return malformed(QStringLiteral("malformed object %1").arg(index));
    }
    return list;
}

std::optional<quint32> BinaryPropertyList::value(quint32 dictionary, QStringView key) const
{
    if (dictionary >= m_objects.size()) return std::nullopt;
    const Object& object = m_objects[dictionary];
    if (object.kind != Kind::Dictionary) return std::nullopt;
    const size_t count = object.refs.size() / 2;
    for (size_t i = 0; i < count; ++i) {
        const Object& k = m_objects[object.refs[i]];
        if (k.kind == Kind::String && k.string == key) return object.refs[count + i];
    }
    return std::nullopt;
}
