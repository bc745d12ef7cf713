#include "model/NoteBlockEnvelope.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cmath>

namespace {

// Thrown inside the reader only; decode() turns it into Error::corrupt.
struct Unreadable {};

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

QString uuidText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

// The standard 36-character form only (8-4-4-4-12 hex digits, either case); no braces, no URN.
QUuid readUuid(const QJsonValue& v)
{
    if (!v.isString()) throw Unreadable{};
    const QString s = v.toString();
    if (s.size() != 36) throw Unreadable{};
    for (int i = 0; i < 36; ++i) {
        const QChar c = s[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != u'-') throw Unreadable{};
        } else if (!isHexDigit(c)) {
            throw Unreadable{};
        }
    }
    return QUuid::fromString(s);
}

// A JSON number that is exactly an integer. "1.0" and "1e2" are integers written another way (the
// number's text form is not part of the format); "1.5" is not.
std::optional<qint64> exactInteger(const QJsonValue& v)
{
    if (!v.isDouble()) return std::nullopt;
    const qint64 a = v.toInteger(0);
    const qint64 b = v.toInteger(1);
    if (a != b) return std::nullopt;
    return a;
}

qint64 readInteger(const QJsonValue& v)
{
    const auto n = exactInteger(v);
    if (!n) throw Unreadable{};
    return *n;
}

QString readString(const QJsonValue& v)
{
    if (!v.isString()) throw Unreadable{};
    return v.toString();
}

// Absent and null both mean "not set"; any other type than the expected one is unreadable.
std::optional<bool> readOptionalBool(const QJsonObject& o, QLatin1String key)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull()) return std::nullopt;
    if (!v.isBool()) throw Unreadable{};
    return v.toBool();
}

std::optional<double> readOptionalDouble(const QJsonObject& o, QLatin1String key)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull()) return std::nullopt;
    if (!v.isDouble()) throw Unreadable{};
    return v.toDouble();
}

std::optional<QString> readOptionalString(const QJsonObject& o, QLatin1String key)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull()) return std::nullopt;
    return readString(v);
}

TextRuns::Run readRun(const QJsonValue& value)
{
    if (!value.isObject()) throw Unreadable{};
    const QJsonObject o = value.toObject();
    TextRuns::Run run;
    run.loc = readInteger(o.value(QLatin1String("loc")));
    run.len = readInteger(o.value(QLatin1String("len")));
    run.b = readOptionalBool(o, QLatin1String("b"));
    run.i = readOptionalBool(o, QLatin1String("i"));
    run.u = readOptionalBool(o, QLatin1String("u"));
    run.s = readOptionalBool(o, QLatin1String("s"));
    run.size = readOptionalDouble(o, QLatin1String("size"));
    run.family = readOptionalString(o, QLatin1String("family"));
    run.fg = readOptionalString(o, QLatin1String("fg"));
    run.bg = readOptionalString(o, QLatin1String("bg"));
    run.link = readOptionalString(o, QLatin1String("link"));
    return run;
}

// The first key present decides: "preset", then "fraction", then "fit" (whose value is not looked at).
ImageSizing readSizing(const QJsonValue& value)
{
    if (!value.isObject()) throw Unreadable{};
    const QJsonObject o = value.toObject();
    if (o.contains(QLatin1String("preset"))) {
        const auto preset = ImageSizing::Preset::fromRawValue(readString(o.value(QLatin1String("preset"))));
        if (!preset) throw Unreadable{};
        return ImageSizing::makePreset(*preset);
    }
    if (o.contains(QLatin1String("fraction"))) {
        const QJsonValue f = o.value(QLatin1String("fraction"));
        if (!f.isDouble()) throw Unreadable{};
        return ImageSizing::makeFraction(f.toDouble());
    }
    if (o.contains(QLatin1String("fit"))) return ImageSizing::makeFit();
    // An image sizing is one of fit, preset or fraction.
    throw Unreadable{};
}

NoteBlock readBlock(const QJsonValue& value)
{
    if (!value.isObject()) throw Unreadable{};
    const QJsonObject o = value.toObject();
    const QUuid id = readUuid(o.value(QLatin1String("id")));
    const QString type = readString(o.value(QLatin1String("type")));
    if (type == QLatin1String("image")) {
        ImagePlacement placement;
        placement.imageID = readUuid(o.value(QLatin1String("image")));
        placement.sizing = readSizing(o.value(QLatin1String("sizing")));
        return NoteBlock::image(placement, id);
    }
    if (type == QLatin1String("text")) {
        TextRuns runs;
        runs.text = readString(o.value(QLatin1String("text")));
        const QJsonValue list = o.value(QLatin1String("runs"));
        if (!list.isUndefined() && !list.isNull()) {
            if (!list.isArray()) throw Unreadable{};
            const QJsonArray array = list.toArray();
            runs.runs.reserve(array.size());
            for (const QJsonValue& r : array) runs.runs.push_back(readRun(r));
        }
        return NoteBlock::text(runs, id);
    }
    throw Unreadable{};
}

std::optional<QJsonObject> writeRun(const TextRuns::Run& run)
{
    QJsonObject o;
    o.insert(QLatin1String("loc"), QJsonValue(run.loc));
    o.insert(QLatin1String("len"), QJsonValue(run.len));
    if (run.b) o.insert(QLatin1String("b"), *run.b);
    if (run.i) o.insert(QLatin1String("i"), *run.i);
    if (run.u) o.insert(QLatin1String("u"), *run.u);
    if (run.s) o.insert(QLatin1String("s"), *run.s);
    if (run.size) {
        if (!std::isfinite(*run.size)) return std::nullopt;
        o.insert(QLatin1String("size"), *run.size);
    }
    if (run.family) o.insert(QLatin1String("family"), *run.family);
    if (run.fg) o.insert(QLatin1String("fg"), *run.fg);
    if (run.bg) o.insert(QLatin1String("bg"), *run.bg);
    if (run.link) o.insert(QLatin1String("link"), *run.link);
    return o;
}

std::optional<QJsonObject> writeSizing(const ImageSizing& sizing)
{
    QJsonObject o;
    switch (sizing.kind()) {
        case ImageSizing::Kind::preset:
            o.insert(QLatin1String("preset"), sizing.preset().rawValue());
            break;
        case ImageSizing::Kind::fraction:
            if (!std::isfinite(sizing.fraction())) return std::nullopt;
            o.insert(QLatin1String("fraction"), sizing.fraction());
            break;
        case ImageSizing::Kind::fit:
            o.insert(QLatin1String("fit"), QJsonObject());
            break;
    }
    return o;
}

std::optional<QJsonObject> writeBlock(const NoteBlock& block)
{
    QJsonObject o;
    o.insert(QLatin1String("id"), uuidText(block.id));
    if (const TextRuns* text = block.textRuns()) {
        QJsonArray runs;
        for (const TextRuns::Run& run : text->runs) {
            const auto r = writeRun(run);
            if (!r) return std::nullopt;
            runs.append(*r);
        }
        o.insert(QLatin1String("type"), QStringLiteral("text"));
        o.insert(QLatin1String("text"), text->text);
        o.insert(QLatin1String("runs"), runs);
    } else if (const ImagePlacement* image = block.imagePlacement()) {
        const auto sizing = writeSizing(image->sizing);
        if (!sizing) return std::nullopt;
        o.insert(QLatin1String("type"), QStringLiteral("image"));
        o.insert(QLatin1String("image"), uuidText(image->imageID));
        o.insert(QLatin1String("sizing"), *sizing);
    }
    return o;
}

}  // namespace

Result<QVector<NoteBlock>, NoteBlockEnvelope::Error> NoteBlockEnvelope::decode(const QByteArray& data)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) return Error::corrupt();
    const QJsonObject root = doc.object();

    // First stage: only the version decides whether this build may read the rest.
    Header header;
    if (const auto v = exactInteger(root.value(QLatin1String("version")))) {
        header.version = *v;
    } else {
        return Error::corrupt();
    }
    if (header.version != currentVersion) return Error::newerVersion(header.version);

    // Second stage: every block must read, or nothing does.
    try {
        const QJsonValue blocks = root.value(QLatin1String("blocks"));
        if (!blocks.isArray()) throw Unreadable{};
        Payload payload{header.version, {}};
        const QJsonArray array = blocks.toArray();
        payload.blocks.reserve(array.size());
        for (const QJsonValue& b : array) payload.blocks.push_back(readBlock(b));
        return payload.blocks;
    } catch (const Unreadable&) {
        return Error::corrupt();
    }
}

std::optional<QByteArray> NoteBlockEnvelope::encode(const Payload& payload)
{
    QJsonArray blocks;
    for (const NoteBlock& block : payload.blocks) {
        const auto o = writeBlock(block);
        if (!o) return std::nullopt;
        blocks.append(*o);
    }
    // QJsonObject keeps its keys in ascending order, which is the order the format asks for.
    QJsonObject root;
    root.insert(QLatin1String("version"), QJsonValue(payload.version));
    root.insert(QLatin1String("blocks"), blocks);
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}
