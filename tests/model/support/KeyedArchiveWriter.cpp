#include "KeyedArchiveWriter.h"

#include <cstring>

PlistWriter::Ref PlistWriter::add(Object object)
{
    m_objects.push_back(std::move(object));
    return {quint32(m_objects.size() - 1)};
}

PlistWriter::Ref PlistWriter::array(const std::vector<Ref>& items)
{
    Object o{Object::Kind::Array};
    for (Ref r : items) o.refs.push_back(r.index);
    return add(std::move(o));
}

PlistWriter::Ref PlistWriter::dictionary(const std::vector<std::pair<QString, Ref>>& entries)
{
    Object o{Object::Kind::Dictionary};
    for (const auto& e : entries) o.refs.push_back(string(e.first).index);
    for (const auto& e : entries) o.refs.push_back(e.second.index);
    return add(std::move(o));
}

namespace {

void appendBigEndian(QByteArray& out, quint64 value, int width)
{
    for (int i = width - 1; i >= 0; --i) out.append(char((value >> (8 * i)) & 0xFF));
}

void appendMarker(QByteArray& out, int type, qsizetype length)
{
    if (length < 15) {
        out.append(char((type << 4) | int(length)));
        return;
    }
    out.append(char((type << 4) | 0x0F));
    out.append(char(0x13));
    appendBigEndian(out, quint64(length), 8);
}

}  // namespace

QByteArray PlistWriter::write(Ref top) const
{
    const int refSize = m_objects.size() < 256 ? 1 : (m_objects.size() < 65536 ? 2 : 4);
    QByteArray out("bplist00");
    std::vector<quint64> offsets;
    for (const Object& o : m_objects) {
        offsets.push_back(quint64(out.size()));
        switch (o.kind) {
            case Object::Kind::String: {
                bool ascii = true;
                for (QChar c : o.string) ascii = ascii && c.unicode() < 128;
                if (ascii) {
                    appendMarker(out, 0x5, o.string.size());
                    out.append(o.string.toLatin1());
                } else {
                    appendMarker(out, 0x6, o.string.size());
                    for (QChar c : o.string) appendBigEndian(out, c.unicode(), 2);
                }
                break;
            }
            case Object::Kind::Data:
                appendMarker(out, 0x4, o.data.size());
                out.append(o.data);
                break;
            case Object::Kind::Integer:
                out.append(char(0x13));
                appendBigEndian(out, quint64(o.integer), 8);
                break;
            case Object::Kind::Real: {
                out.append(char(0x23));
                quint64 bits;
                std::memcpy(&bits, &o.real, sizeof bits);
                appendBigEndian(out, bits, 8);
                break;
            }
            case Object::Kind::Bool:
                out.append(char(o.integer ? 0x09 : 0x08));
                break;
            case Object::Kind::Uid:
                out.append(char(0x83));
                appendBigEndian(out, quint64(o.integer), 4);
                break;
            case Object::Kind::Array:
            case Object::Kind::Dictionary:
                appendMarker(out, o.kind == Object::Kind::Array ? 0xA : 0xD,
                             qsizetype(o.kind == Object::Kind::Array ? o.refs.size() : o.refs.size() / 2));
                for (quint32 r : o.refs) appendBigEndian(out, r, refSize);
                break;
        }
    }
    const quint64 tableOffset = quint64(out.size());
    for (quint64 offset : offsets) appendBigEndian(out, offset, 8);
    out.append(QByteArray(6, '\0'));
    out.append(char(8));
    out.append(char(refSize));
    appendBigEndian(out, m_objects.size(), 8);
    appendBigEndian(out, top.index, 8);
    appendBigEndian(out, tableOffset, 8);
    return out;
}

KeyedArchiveWriter::KeyedArchiveWriter()
{
    m_objects.push_back(m_plist.string("$null"));
}

KeyedArchiveWriter::Uid KeyedArchiveWriter::string(const QString& s)
{
    m_objects.push_back(m_plist.string(s));
    return {m_objects.size() - 1};
}

KeyedArchiveWriter::Uid KeyedArchiveWriter::number(double v)
{
    m_objects.push_back(m_plist.real(v));
    return {m_objects.size() - 1};
}

KeyedArchiveWriter::Uid KeyedArchiveWriter::classRef(const QString& name)
{
    for (const auto& [n, uid] : m_classes)
        if (n == name) return uid;
    const auto ref =
        m_plist.dictionary({{"$classname", m_plist.string(name)},
                            {"$classes", m_plist.array({m_plist.string(name), m_plist.string("NSObject")})}});
    m_objects.push_back(ref);
    const Uid uid{m_objects.size() - 1};
    m_classes.emplace_back(name, uid);
    return uid;
}

PlistWriter::Ref KeyedArchiveWriter::field(const Field& value)
{
    if (auto* u = std::get_if<Uid>(&value)) return m_plist.uid(u->value);
    if (auto* i = std::get_if<qint64>(&value)) return m_plist.integer(*i);
    if (auto* d = std::get_if<double>(&value)) return m_plist.real(*d);
    if (auto* s = std::get_if<QString>(&value)) return m_plist.string(*s);
    if (auto* b = std::get_if<QByteArray>(&value)) return m_plist.data(*b);
    std::vector<PlistWriter::Ref> items;
    for (Uid u : std::get<std::vector<Uid>>(value)) items.push_back(m_plist.uid(u.value));
    return m_plist.array(items);
}

KeyedArchiveWriter::Uid KeyedArchiveWriter::reserve()
{
    m_objects.push_back(m_plist.string("reserved"));
    return {m_objects.size() - 1};
}

void KeyedArchiveWriter::fill(Uid slot, const QString& className, const Fields& fields)
{
    std::vector<std::pair<QString, PlistWriter::Ref>> entries{{"$class", m_plist.uid(classRef(className).value)}};
    for (const auto& [key, value] : fields) entries.emplace_back(key, field(value));
    m_objects[slot.value] = m_plist.dictionary(entries);
}

KeyedArchiveWriter::Uid KeyedArchiveWriter::instance(const QString& className, const Fields& fields)
{
    const Uid slot = reserve();
    fill(slot, className, fields);
    return slot;
}

KeyedArchiveWriter::Uid KeyedArchiveWriter::dictionary(const std::vector<std::pair<QString, Uid>>& entries)
{
    std::vector<Uid> keys, values;
    for (const auto& [key, value] : entries) {
        keys.push_back(string(key));
        values.push_back(value);
    }
    return instance("NSDictionary", {{"NS.keys", keys}, {"NS.objects", values}});
}

KeyedArchiveWriter::Uid KeyedArchiveWriter::font(const QString& postScriptName, double size)
{
    return instance("NSFont", {{"NSName", string(postScriptName)}, {"NSSize", size}, {"NSfFlags", qint64(16)}});
}

KeyedArchiveWriter::Uid KeyedArchiveWriter::rgbColor(double r, double g, double b, double a)
{
    QByteArray components =
        QByteArray::number(r) + ' ' + QByteArray::number(g) + ' ' + QByteArray::number(b) + ' ' + QByteArray::number(a);
    components.append('\0');
    return instance("NSColor", {{"NSColorSpace", qint64(1)}, {"NSRGB", components}});
}

KeyedArchiveWriter::Uid KeyedArchiveWriter::url(const QString& text)
{
    return instance("NSURL", {{"NS.base", Uid{0}}, {"NS.relative", string(text)}});
}

KeyedArchiveWriter::Uid KeyedArchiveWriter::attachment(const QByteArray& fileContents)
{
    const Uid wrapper = instance("NSFileWrapper", {{"NSFileContents", fileContents}});
    return instance("NSTextAttachment", {{"NSFileWrapper", wrapper}});
}

KeyedArchiveWriter::Uid KeyedArchiveWriter::attributedString(const QString& text,
                                                             const std::vector<std::pair<qsizetype, Uid>>& runs)
{
    const Uid characters = instance("NSMutableString", {{"NS.string", text}});
    if (runs.size() == 1)
        return instance("NSAttributedString", {{"NSString", characters}, {"NSAttributes", runs.front().second}});
    std::vector<Uid> table;
    QByteArray info;
    auto varint = [&info](quint64 v) {
        do {
            quint8 byte = v & 0x7F;
            v >>= 7;
            if (v) byte |= 0x80;
            info.append(char(byte));
        } while (v);
    };
    for (const auto& [length, attributes] : runs) {
        varint(quint64(length));
        varint(table.size());
        table.push_back(attributes);
    }
    return instance("NSMutableAttributedString",
                    {{"NSString", characters}, {"NSAttributes", array(table)}, {"NSAttributeInfo", info}});
}

QByteArray KeyedArchiveWriter::finish(Uid root, const QString& archiver)
{
    std::vector<PlistWriter::Ref> objects(m_objects.begin(), m_objects.end());
    const auto top = m_plist.dictionary({{"$archiver", m_plist.string(archiver)},
                                         {"$version", m_plist.integer(100000)},
                                         {"$top", m_plist.dictionary({{"root", m_plist.uid(root.value)}})},
                                         {"$objects", m_plist.array(objects)}});
    return m_plist.write(top);
}
