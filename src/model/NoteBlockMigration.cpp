#include "model/NoteBlockMigration.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <cmath>

#include "model/LegacyArchiveReader.h"
#include "model/TextRunsCodec.h"
#include "model/text/RichTextBridge.h"
#include "model/text/TextPictures.h"
#include "platform/Log.h"

namespace {

// Each message is written at most once per run, however many notes fail.
std::atomic<bool> loggedUnreadablePicture{false};
std::atomic<bool> loggedLegacyGap{false};
std::atomic<bool> loggedOversizedArchive{false};

NoteBlock plainBlock(const QString& text)
{
    return NoteBlock::text(TextRuns{text, {}});
}

NoteBlockMigration::Migrated plainResult(const QString& body)
{
    return {{plainBlock(body)}, {}};
}

// The pieces of a body cut at its pictures.
struct Piece {
    qsizetype start = 0;
    qsizetype length = 0;
    int attachment = -1;  // index of the attachment entry for a picture piece, -1 for text
};

struct AttachmentEntry {
    qsizetype position;
    std::shared_ptr<const TextAttachment> attachment;
    std::optional<double> width;
};

// The characters of a legacy JSON body, run by run. The body was written by the other platform's
// attributed-string coding: "text" holds a plain string, or alternating strings and attribute
// containers, or "runs" (strings and indices) with an "attributeTable". The font and colour attributes
// of that scope had no portable coded form, so only the characters and their runs are read.
std::optional<AttributedText> decodeLegacyJson(const QByteArray& data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonValue text = document.object().value(QLatin1String("text"));
    AttributedText result;
    if (text.isString()) return AttributedText(text.toString());
    if (text.isArray()) {
        const QJsonArray items = text.toArray();
        if (items.size() % 2 != 0) return std::nullopt;
        for (qsizetype i = 0; i < items.size(); i += 2) {
            if (!items[i].isString() || !items[i + 1].isObject()) return std::nullopt;
            result.append(items[i].toString());
        }
        return result;
    }
    if (text.isObject()) {
        const QJsonValue runs = text.toObject().value(QLatin1String("runs"));
        const QJsonValue table = text.toObject().value(QLatin1String("attributeTable"));
        if (!runs.isArray() || !table.isArray()) return std::nullopt;
        const QJsonArray items = runs.toArray();
        const qsizetype tableSize = table.toArray().size();
        if (items.size() % 2 != 0) return std::nullopt;
        for (qsizetype i = 0; i < items.size(); i += 2) {
            const double index = items[i + 1].toDouble(-1);
            if (!items[i].isString() || !items[i + 1].isDouble() || index < 0 || index >= double(tableSize) ||
                index != std::floor(index))
                return std::nullopt;
            result.append(items[i].toString());
        }
        return result;
    }
    return std::nullopt;
}

AttributedText withoutPictureMarks(AttributedText text)
{
    text.modify(0, text.length(), [](TextAttributes& a) { a.imageWidth.reset(); });
    text.removeAll(NoteBlock::imagePlaceholder.at(0));
    return text;
}

}  // namespace

std::optional<NoteBlockMigration::Migrated> NoteBlockMigration::migrate(const QString& body,
                                                                        const std::optional<QByteArray>& richData,
                                                                        double paperWidth, const BaseStyle& base)
{
    if (!richData) return plainResult(body);

    auto archived = LegacyArchiveReader::read(*richData);
    if (archived) {
        if (!canonicallyEqual(archived->text(), body)) return plainResult(body);
        return split(*archived, paperWidth, base);
    }
    if (archived.error().kind == LegacyArchiveError::Kind::LimitExceeded) {
        // A body too large for the reader may still hold pictures; turning it into plain blocks would
        // hide them for good, so it is left for a later version.
        reportOversizedArchive();
        return std::nullopt;
    }
    qCDebug(Log::store, "legacy body is not a readable archive: %s", qUtf8Printable(archived.error().detail));

    const std::optional<AttributedText> legacy = decodeLegacyJson(*richData);
    if (!legacy || !canonicallyEqual(legacy->text(), body)) return plainResult(body);

    const AttributedText bridged = RichTextBridge::toNSAttributed(*legacy, RichTextBridge::FontContext{});
    if (!canonicallyEqual(bridged.text(), body)) {
        reportLegacyGap(QStringLiteral("the bridge produced different characters"));
        return std::nullopt;
    }
    // This form never holds pictures, so it is not split.
    return Migrated{{NoteBlock::text(TextRunsCodec::encode(bridged, base))}, {}};
}

std::optional<AttributedText> NoteBlockMigration::unarchiveBody(const QByteArray& data)
{
    auto archived = LegacyArchiveReader::read(data);
    if (!archived) return std::nullopt;
    return std::move(archived).value();
}

std::optional<NoteBlockMigration::Migrated> NoteBlockMigration::split(const AttributedText& text, double paperWidth,
                                                                      const BaseStyle& base)
{
    std::vector<AttachmentEntry> entries;
    for (const AttributedText::Run& run : text.runs()) {
        if (!run.attributes.attachment) continue;
        // One entry per character: neighbouring characters may share one attachment object.
        for (qsizetype pos = run.start; pos < run.start + run.length; ++pos)
            entries.push_back({pos, run.attributes.attachment, run.attributes.imageWidth});
    }

    if (entries.empty()) {
        const AttributedText clean = withoutPictureMarks(text);
        return Migrated{{NoteBlock::text(TextRunsCodec::encode(clean, base))}, {}};
    }

    std::vector<Piece> pieces;
    qsizetype cursor = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (cursor < entries[i].position) pieces.push_back({cursor, entries[i].position - cursor, -1});
        pieces.push_back({entries[i].position, 1, int(i)});
        cursor = entries[i].position + 1;
    }
    if (cursor < text.length()) pieces.push_back({cursor, text.length() - cursor, -1});

    Migrated result;
    for (size_t index = 0; index < pieces.size(); ++index) {
        const Piece& piece = pieces[index];
        if (piece.attachment >= 0) {
            const AttachmentEntry& entry = entries[size_t(piece.attachment)];
            const std::optional<QByteArray> bytes = TextPictures::attachmentBytes(*entry.attachment);
            if (!bytes) {
                reportUnreadablePicture();
                return std::nullopt;
            }
            const QUuid placeholder = QUuid::createUuid();
            result.images.append({placeholder, *bytes, entry.width});
            const bool sized = entry.width && *entry.width > 0 && paperWidth > 0;
            const ImageSizing sizing =
                sized ? ImageSizing::makeFraction(std::min(*entry.width / paperWidth, 1.0)) : ImageSizing::makeFit();
            result.blocks.append(NoteBlock::image(ImagePlacement{placeholder, sizing}));
            continue;
        }
        // The newline that separated a picture from its text disappears into the block boundary.
        AttributedText part = text.mid(piece.start, piece.length);
        int neighbours = 0;
        int trims = 0;
        if (index > 0 && pieces[index - 1].attachment >= 0) {
            ++neighbours;
            if (part.text().startsWith(QLatin1Char('\n'))) {
                part.remove(0, 1);
                ++trims;
            }
        }
        if (index + 1 < pieces.size() && pieces[index + 1].attachment >= 0) {
            ++neighbours;
            if (part.text().endsWith(QLatin1Char('\n'))) {
                part.remove(part.length() - 1, 1);
                ++trims;
            }
        }
        part = withoutPictureMarks(std::move(part));
        if (trims == neighbours || !part.isEmpty())
            result.blocks.append(NoteBlock::text(TextRunsCodec::encode(part, base)));
    }
    result.blocks = mergingAdjacentText(result.blocks);
    return result;
}

QVector<NoteBlock> NoteBlockMigration::mergingAdjacentText(const QVector<NoteBlock>& blocks)
{
    QVector<NoteBlock> output;
    for (const NoteBlock& block : blocks) {
        const TextRuns* next = block.textRuns();
        TextRuns* last = output.isEmpty() ? nullptr : output.last().textRuns();
        if (!next || !last) {
            output.append(block);
            continue;
        }
        const qint64 shift = last->text.size() + 1;
        last->text += QLatin1Char('\n') + next->text;
        for (TextRuns::Run run : next->runs) {
            run.loc += shift;
            last->runs.append(run);
        }
    }
    return output;
}

QVector<NoteBlock> NoteBlockMigration::rebuild(const QString& body, const QVector<NoteBlock>& salvagingImagesFrom)
{
    QVector<ImagePlacement> salvaged;
    for (const NoteBlock& block : salvagingImagesFrom) {
        if (const ImagePlacement* placement = block.imagePlacement()) salvaged.append(*placement);
    }
    qsizetype nextPlacement = 0;
    QVector<NoteBlock> blocks;
    for (const QString& line : body.split(QLatin1Char('\n'))) {
        if (canonicallyEqual(line, NoteBlock::imagePlaceholder) && nextPlacement < salvaged.size()) {
            blocks.append(NoteBlock::image(salvaged[nextPlacement++]));
        } else {
            QString text = line;
            text.remove(NoteBlock::imagePlaceholder);
            blocks.append(plainBlock(text));
        }
    }
    for (; nextPlacement < salvaged.size(); ++nextPlacement) blocks.append(NoteBlock::image(salvaged[nextPlacement]));
    if (blocks.isEmpty()) blocks.append(plainBlock(QString()));
    return mergingAdjacentText(blocks);
}

void NoteBlockMigration::reportLegacyGap(const QString& reason)
{
    if (loggedLegacyGap.exchange(true)) return;
    qCInfo(Log::store, "legacy JSON bodies left un-migrated (%s); they still open as plain text",
           qUtf8Printable(reason));
}

void NoteBlockMigration::reportUnreadablePicture()
{
    if (loggedUnreadablePicture.exchange(true)) return;
    qCInfo(Log::store, "a body was left un-migrated: an attachment in it yielded no bytes");
}

void NoteBlockMigration::reportOversizedArchive()
{
    if (loggedOversizedArchive.exchange(true)) return;
    qCInfo(Log::store, "a legacy body larger than the archive reader allows was left un-migrated");
}
