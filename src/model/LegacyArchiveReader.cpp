#include "model/LegacyArchiveReader.h"

#include <algorithm>
#include <memory>
#include <variant>

#include "platform/BinaryPropertyList.h"

namespace {

using Kind = LegacyArchiveError::Kind;
using PlistKind = BinaryPropertyList::Kind;

struct Number {
    double real = 0;
    qint64 integer = 0;
};

struct Value;
using ValuePtr = std::shared_ptr<const Value>;
using Attachment = std::shared_ptr<const TextAttachment>;

struct FileWrapper {
    QByteArray contents;
};

// What one archived object decodes to. Containers only appear where a rich body has them: the attribute
// dictionaries and the array that lists them.
struct Value {
    std::variant<std::monostate, QString, QByteArray, Number, std::vector<ValuePtr>, TextAttributes, AttributedText,
                 TextFont, QColor, Attachment, FileWrapper, QUrl>
        content;
};

// A copy of the value when it holds a T: callers often pass a temporary that lives no longer than the call.
template <typename T>
std::optional<T> as(const ValuePtr& value)
{
    if (const T* content = value ? std::get_if<T>(&value->content) : nullptr) return *content;
    return std::nullopt;
}

struct Failure {
    LegacyArchiveError error;
};

[[noreturn]] void fail(Kind kind, const QString& detail)
{
    throw Failure{{kind, detail}};
}

// Weight and slant from a PostScript font name ("Helvetica-BoldOblique"); the archive keeps no family.
TextFont fontFromPostScriptName(const QString& name, double size)
{
    TextFont font;
    font.pointSize = size;
    const qsizetype dash = name.indexOf(QLatin1Char('-'));
    const QString family = dash < 0 ? name : name.left(dash);
    const QString style = dash < 0 ? QString() : name.mid(dash + 1);
    // Names beginning with a dot are the system interface fonts.
    font.family = family.startsWith(QLatin1Char('.')) ? QString() : family;
    static const std::pair<const char*, int> weights[] = {{"ultralight", 100}, {"thin", 100},      {"extralight", 200},
                                                          {"light", 300},      {"medium", 500},    {"semibold", 600},
                                                          {"demibold", 600},   {"extrabold", 800}, {"heavy", 800},
                                                          {"black", 900},      {"bold", 700}};
    const QString lower = style.toLower();
    for (const auto& [word, weight] : weights) {
        if (lower.contains(QLatin1String(word))) {
            font.weight = weight;
            break;
        }
    }
    font.italic = lower.contains(QLatin1String("italic")) || lower.contains(QLatin1String("oblique"));
    return font;
}

class GraphDecoder {
public:
    GraphDecoder(const BinaryPropertyList& plist, const LegacyArchiveReader::Limits& limits)
        : m_plist(plist), m_limits(limits)
    {
    }

    AttributedText decodeRoot()
    {
        const quint32 top = m_plist.topObject();
        const auto archiver = m_plist.value(top, u"$archiver");
        const auto objects = m_plist.value(top, u"$objects");
        const auto topDict = m_plist.value(top, u"$top");
        if (!archiver || !objects || !topDict || !isString(*archiver, u"NSKeyedArchiver") ||
            m_plist.object(*objects).kind != PlistKind::Array)
            fail(Kind::NotAnArchive, QStringLiteral("no keyed archive"));
        m_objects = &m_plist.object(*objects).refs;
        if (qsizetype(m_objects->size()) > m_limits.maxObjects)
            fail(Kind::LimitExceeded, QStringLiteral("too many objects"));
        m_state.assign(m_objects->size(), State::Unvisited);
        m_cache.assign(m_objects->size(), nullptr);

        const auto root = m_plist.value(*topDict, u"root");
        if (!root) fail(Kind::NotAnArchive, QStringLiteral("no root object"));
        const ValuePtr value = decodeReference(*root, 0);
        const auto text = as<AttributedText>(value);
        if (!text) fail(Kind::NotAttributedText, QStringLiteral("root is not an attributed string"));
        return *text;
    }

private:
    enum class State { Unvisited, InProgress, Done };

    bool isString(quint32 index, QStringView text) const
    {
        const auto& object = m_plist.object(index);
        return object.kind == PlistKind::String && object.string == text;
    }

    // A plist entry that must be a reference (UID) into the archive's objects.
    ValuePtr decodeReference(quint32 plistIndex, int depth)
    {
        const auto& object = m_plist.object(plistIndex);
        if (object.kind != PlistKind::Uid) fail(Kind::Malformed, QStringLiteral("expected an object reference"));
        return decodeObject(object.integer, depth);
    }

    // A member of an archived object: either a reference or a value written inline.
    ValuePtr member(quint32 object, QStringView key, int depth)
    {
        const auto entry = m_plist.value(object, key);
        if (!entry) return nullptr;
        const auto& raw = m_plist.object(*entry);
        if (raw.kind == PlistKind::Uid) return decodeObject(raw.integer, depth + 1);
        return scalar(raw);
    }

    static ValuePtr scalar(const BinaryPropertyList::Object& raw)
    {
        auto value = std::make_shared<Value>();
        switch (raw.kind) {
            case PlistKind::String:
                value->content = raw.string;
                break;
            case PlistKind::Data:
                value->content = raw.data;
                break;
            case PlistKind::Integer:
                value->content = Number{double(raw.integer), raw.integer};
                break;
            case PlistKind::Real:
                value->content = Number{raw.real, qint64(qBound(-9e18, raw.real, 9e18))};
                break;
            case PlistKind::Bool:
                value->content = Number{raw.boolean ? 1.0 : 0.0, raw.boolean ? 1 : 0};
                break;
            default:
                fail(Kind::Malformed, QStringLiteral("unexpected value"));
        }
        return value;
    }

    ValuePtr decodeObject(qint64 uid, int depth)
    {
        if (uid < 0 || uid >= qint64(m_objects->size())) fail(Kind::Malformed, QStringLiteral("dangling reference"));
        if (uid == 0) return nullptr;  // the archive's nil
        if (depth > m_limits.maxDepth) fail(Kind::LimitExceeded, QStringLiteral("nested too deep"));
        const size_t index = size_t(uid);
        if (m_state[index] == State::Done) return m_cache[index];
        if (m_state[index] == State::InProgress)
            fail(Kind::Cycle, QStringLiteral("object %1 contains itself").arg(uid));
        m_state[index] = State::InProgress;

        const quint32 plistIndex = (*m_objects)[index];
        const auto& raw = m_plist.object(plistIndex);
        ValuePtr value;
        if (raw.kind == PlistKind::Dictionary) {
            value = decodeInstance(plistIndex, depth);
        } else {
            value = scalar(raw);
        }
        m_state[index] = State::Done;
        m_cache[index] = value;
        return value;
    }

    QString className(quint32 instance) const
    {
        const auto cls = m_plist.value(instance, u"$class");
        if (!cls || m_plist.object(*cls).kind != PlistKind::Uid)
            fail(Kind::Malformed, QStringLiteral("object without a class"));
        const qint64 uid = m_plist.object(*cls).integer;
        if (uid <= 0 || uid >= qint64(m_objects->size())) fail(Kind::Malformed, QStringLiteral("dangling class"));
        const auto name = m_plist.value((*m_objects)[size_t(uid)], u"$classname");
        if (!name || m_plist.object(*name).kind != PlistKind::String)
            fail(Kind::Malformed, QStringLiteral("class without a name"));
        return m_plist.object(*name).string;
    }

    ValuePtr decodeInstance(quint32 instance, int depth)
    {
        const QString name = className(instance);
        auto value = std::make_shared<Value>();
        if (name == u"NSAttributedString" || name == u"NSMutableAttributedString") {
            value->content = attributedString(instance, depth);
        } else if (name == u"NSString" || name == u"NSMutableString") {
            if (const auto s = as<QString>(member(instance, u"NS.string", depth)))
                value->content = *s;
            else if (const auto bytes = as<QByteArray>(member(instance, u"NS.bytes", depth)))
                value->content = QString::fromUtf8(*bytes);
            else
                fail(Kind::Malformed, QStringLiteral("string without characters"));
        } else if (name == u"NSData" || name == u"NSMutableData") {
            auto bytes = as<QByteArray>(member(instance, u"NS.data", depth));
            if (!bytes) bytes = as<QByteArray>(member(instance, u"NS.bytes", depth));
            if (!bytes) fail(Kind::Malformed, QStringLiteral("data without bytes"));
            value->content = *bytes;
        } else if (name == u"NSArray" || name == u"NSMutableArray") {
            value->content = array(instance, depth);
        } else if (name == u"NSDictionary" || name == u"NSMutableDictionary") {
            // The only dictionaries a rich body holds are attribute dictionaries.
            value->content = attributes(instance, depth);
        } else if (name == u"NSFont") {
            const auto fontName = as<QString>(member(instance, u"NSName", depth));
            const auto size = as<Number>(member(instance, u"NSSize", depth));
            if (!fontName || !size || !(size->real > 0) || size->real > 10000)
                fail(Kind::Malformed, QStringLiteral("bad font"));
            value->content = fontFromPostScriptName(*fontName, size->real);
        } else if (name == u"NSColor") {
            const QColor color = this->color(instance, depth);
            if (color.isValid()) value->content = color;
        } else if (name == u"NSURL") {
            const auto relative = as<QString>(member(instance, u"NS.relative", depth));
            if (!relative) fail(Kind::Malformed, QStringLiteral("link without text"));
            QUrl url(*relative);
            if (const auto base = as<QUrl>(member(instance, u"NS.base", depth))) url = base->resolved(url);
            value->content = url;
        } else if (name == u"NSTextAttachment") {
            auto attachment = std::make_shared<TextAttachment>();
            const ValuePtr wrapper = member(instance, u"NSFileWrapper", depth);
            if (const auto file = as<FileWrapper>(wrapper))
                attachment->fileContents = file->contents;
            else if (wrapper)
                fail(Kind::Malformed, QStringLiteral("attachment with a bad file wrapper"));
            value->content = Attachment(std::move(attachment));
        } else if (name == u"NSFileWrapper") {
            const ValuePtr contents = member(instance, u"NSFileContents", depth);
            const auto bytes = as<QByteArray>(contents);
            if (contents && !bytes) fail(Kind::Malformed, QStringLiteral("file wrapper with bad contents"));
            value->content = FileWrapper{bytes ? *bytes : QByteArray()};
        } else {
            fail(Kind::ClassNotAllowed, name);
        }
        return value;
    }

    std::vector<ValuePtr> array(quint32 instance, int depth)
    {
        const auto list = m_plist.value(instance, u"NS.objects");
        if (!list || m_plist.object(*list).kind != PlistKind::Array)
            fail(Kind::Malformed, QStringLiteral("array without objects"));
        std::vector<ValuePtr> items;
        for (quint32 item : m_plist.object(*list).refs) items.push_back(decodeReference(item, depth + 1));
        return items;
    }

    TextAttributes attributes(quint32 instance, int depth)
    {
        const auto keys = m_plist.value(instance, u"NS.keys");
        const auto objects = m_plist.value(instance, u"NS.objects");
        if (!keys || !objects || m_plist.object(*keys).kind != PlistKind::Array ||
            m_plist.object(*objects).kind != PlistKind::Array ||
            m_plist.object(*keys).refs.size() != m_plist.object(*objects).refs.size())
            fail(Kind::Malformed, QStringLiteral("bad dictionary"));
        const auto& keyRefs = m_plist.object(*keys).refs;
        const auto& valueRefs = m_plist.object(*objects).refs;
        TextAttributes result;
        for (size_t i = 0; i < keyRefs.size(); ++i) {
            const auto key = as<QString>(decodeReference(keyRefs[i], depth + 1));
            if (!key) fail(Kind::Malformed, QStringLiteral("attribute without a name"));
            // Attributes a body does not use (kerning, shadows, tool tips...) are never decoded.
            auto decodeValue = [&] { return decodeReference(valueRefs[i], depth + 1); };
            if (*key == u"NSFont") {
                if (const auto font = as<TextFont>(decodeValue())) result.font = *font;
            } else if (*key == u"NSColor") {
                if (const auto color = as<QColor>(decodeValue())) result.foreground = *color;
            } else if (*key == u"NSBackgroundColor") {
                if (const auto color = as<QColor>(decodeValue())) result.background = *color;
            } else if (*key == u"NSUnderline") {
                if (const auto n = as<Number>(decodeValue()))
                    result.underline = int(std::clamp<qint64>(n->integer, -1, 0xFFFF));
            } else if (*key == u"NSStrikethrough") {
                if (const auto n = as<Number>(decodeValue()))
                    result.strikethrough = int(std::clamp<qint64>(n->integer, -1, 0xFFFF));
            } else if (*key == u"NSLink") {
                const ValuePtr link = decodeValue();
                if (const auto url = as<QUrl>(link)) result.link = *url;
                if (const auto text = as<QString>(link)) result.link = *text;
            } else if (*key == u"NSAttachment") {
                if (const auto attachment = as<Attachment>(decodeValue())) result.attachment = *attachment;
            } else if (*key == u"tarnImageWidth") {
                if (const auto n = as<Number>(decodeValue())) result.imageWidth = n->real;
            }
        }
        return result;
    }

    QColor color(quint32 instance, int depth)
    {
        const auto space = as<Number>(member(instance, u"NSColorSpace", depth));
        if (!space) fail(Kind::Malformed, QStringLiteral("colour without a colour space"));
        auto components = [&](QStringView key) {
            QList<double> values;
            const auto text = as<QByteArray>(member(instance, key, depth));
            if (!text) return values;
            // Components are written as decimal text, separated by spaces, ending in a NUL.
            for (const QByteArray& part : text->left(256).split(' ')) {
                bool ok = false;
                const double v = part.trimmed().replace('\0', "").toDouble(&ok);
                if (ok) values.append(qBound(0.0, v, 1.0));
            }
            return values;
        };
        switch (space->integer) {
            case 1:
            case 2: {
                const auto c = components(u"NSRGB");
                if (c.size() >= 3) return QColor::fromRgbF(c[0], c[1], c[2], c.size() > 3 ? c[3] : 1.0);
                break;
            }
            case 3:
            case 4: {
                const auto c = components(u"NSWhite");
                if (!c.isEmpty()) return QColor::fromRgbF(c[0], c[0], c[0], c.size() > 1 ? c[1] : 1.0);
                break;
            }
            case 5: {
                const auto c = components(u"NSCMYK");
                if (c.size() >= 4) return QColor::fromCmykF(c[0], c[1], c[2], c[3], c.size() > 4 ? c[4] : 1.0);
                break;
            }
            case 6:
                // A named colour carries a fallback colour of its own.
                if (const auto fallback = as<QColor>(member(instance, u"NSColor", depth))) return *fallback;
                break;
            default:
                break;
        }
        return QColor();
    }

    AttributedText attributedString(quint32 instance, int depth)
    {
        const auto string = as<QString>(member(instance, u"NSString", depth));
        if (!string) fail(Kind::Malformed, QStringLiteral("attributed string without characters"));
        const ValuePtr attributes = member(instance, u"NSAttributes", depth);
        const ValuePtr info = member(instance, u"NSAttributeInfo", depth);
        if (!attributes) return AttributedText(*string);
        if (!info) {
            const auto whole = as<TextAttributes>(attributes);
            if (!whole) fail(Kind::Malformed, QStringLiteral("bad attributes"));
            return AttributedText(*string, *whole);
        }
        const auto table = as<std::vector<ValuePtr>>(attributes);
        const auto runs = as<QByteArray>(info);
        if (!table || !runs) fail(Kind::Malformed, QStringLiteral("bad attribute runs"));

        // Runs are pairs of unsigned variable-length numbers (seven bits a byte, low bits first): the
        // run's length in UTF-16 units and the index of its attributes.
        qsizetype pos = 0;
        auto next = [&]() -> quint64 {
            quint64 value = 0;
            for (int shift = 0;; shift += 7) {
                if (pos >= runs->size() || shift > 56) fail(Kind::Malformed, QStringLiteral("bad attribute runs"));
                const quint8 byte = quint8((*runs)[pos++]);
                value |= quint64(byte & 0x7F) << shift;
                if (!(byte & 0x80)) return value;
            }
        };
        AttributedText text;
        qsizetype at = 0;
        while (pos < runs->size()) {
            const quint64 length = next();
            const quint64 index = next();
            if (length > quint64(string->size() - at) || index >= table->size())
                fail(Kind::Malformed, QStringLiteral("attribute run out of range"));
            const auto runAttributes = as<TextAttributes>((*table)[index]);
            if (!runAttributes) fail(Kind::Malformed, QStringLiteral("bad attributes"));
            text.append(string->mid(at, qsizetype(length)), *runAttributes);
            at += qsizetype(length);
        }
        if (at != string->size()) fail(Kind::Malformed, QStringLiteral("attribute runs do not cover the text"));
        return text;
    }

    const BinaryPropertyList& m_plist;
    LegacyArchiveReader::Limits m_limits;
    const std::vector<quint32>* m_objects = nullptr;
    std::vector<State> m_state;
    std::vector<ValuePtr> m_cache;
};

}  // namespace

Result<AttributedText, LegacyArchiveError> LegacyArchiveReader::read(const QByteArray& bytes, const Limits& limits)
{
    if (bytes.size() > limits.maxBytes) return LegacyArchiveError{Kind::LimitExceeded, QStringLiteral("too large")};
    auto plist = BinaryPropertyList::parse(bytes, {limits.maxBytes, limits.maxObjects});
    if (!plist)
        return LegacyArchiveError{plist.error().limitExceeded ? Kind::LimitExceeded : Kind::NotAnArchive,
                                  plist.error().detail};
    try {
        GraphDecoder decoder(*plist, limits);
        return decoder.decodeRoot();
    } catch (const Failure& failure) {
        return failure.error;
    }
}
