#include "model/Note.h"

#include <unicode/udat.h>
#include <unicode/udatpg.h>
#include <unicode/ustring.h>
#include <QCalendar>
#include <QLocale>
#include <memory>

#include "model/NoteBlockEnvelope.h"
#include "model/StoredValue.h"

const EntityDescription& Note::entityDescription()
{
    static const EntityDescription entity{
        QStringLiteral("Note"),
        {
            {QStringLiteral("uuid"), AttributeType::Uuid, false, QVariant(), QString(), false, true},
            {QStringLiteral("title"), AttributeType::String, false, QString()},
            {QStringLiteral("body"), AttributeType::String, false, QString(), QString(), false, false, true},
            {QStringLiteral("bodyRichData"), AttributeType::Data, true},
            {QStringLiteral("bodyBlocksData"), AttributeType::Data, true},
            {QStringLiteral("tintRaw"), AttributeType::String, false, QStringLiteral("blue")},
            {QStringLiteral("themeID"), AttributeType::String, false, QString()},
            {QStringLiteral("wallpaperID"), AttributeType::String, true},
            {QStringLiteral("wallpaperBrightness"), AttributeType::Double, true},
            {QStringLiteral("wallpaperBlur"), AttributeType::Double, true},
            {QStringLiteral("fontFamilyOverride"), AttributeType::String, true},
            {QStringLiteral("inkHexOverride"), AttributeType::String, true},
            {QStringLiteral("paperHexOverride"), AttributeType::String, true},
            {QStringLiteral("opacityRaw"), AttributeType::String, false, QStringLiteral("solid")},
            {QStringLiteral("opacityValue"), AttributeType::Double, false, 1.0},
            {QStringLiteral("isPinned"), AttributeType::Bool, false, false},
            {QStringLiteral("floatsOnTop"), AttributeType::Bool, false, true},
            {QStringLiteral("isLocked"), AttributeType::Bool, false, false},
            {QStringLiteral("lockedCipher"), AttributeType::Data, true},
            {QStringLiteral("reminderDate"), AttributeType::Date, true},
            {QStringLiteral("tags"), AttributeType::StringList, false, QStringList()},
            {QStringLiteral("sourceApp"), AttributeType::String, true},
            {QStringLiteral("sourceURL"), AttributeType::Url, true},
            {QStringLiteral("dayKey"), AttributeType::String, true},
            {QStringLiteral("frameX"), AttributeType::Double, true},
            {QStringLiteral("frameY"), AttributeType::Double, true},
            {QStringLiteral("frameW"), AttributeType::Double, true},
            {QStringLiteral("frameH"), AttributeType::Double, true},
            {QStringLiteral("createdAt"), AttributeType::Date},
            {QStringLiteral("updatedAt"), AttributeType::Date},
            {QStringLiteral("isTrashed"), AttributeType::Bool, false, false, QStringLiteral("isDeleted")},
            {QStringLiteral("deletedAt"), AttributeType::Date, true},
        },
        [] { return new Note(); },
    };
    return entity;
}

Note::Note() : ManagedObject(entityDescription()) {}

Note::Note(const QString& title, const QString& body, Tint tint, Opacity opacity,
           const std::optional<QString>& sourceApp, const std::optional<QUrl>& sourceURL, const QDateTime& now)
    : Note()
{
    setUuid(QUuid::createUuid());
    setTitle(title);
    setBody(body);
    setTintRaw(tint.rawValue());
    setOpacityRaw(opacity.rawValue());
    setSourceApp(sourceApp);
    setSourceURL(sourceURL);
    setCreatedAt(now);
    setUpdatedAt(now);
}

#define TARNWICK_OPTIONAL_ATTRIBUTE(Type, getter, setter, index) \
    std::optional<Type> Note::getter() const                     \
    {                                                            \
        return optionalFromVariant<Type>(value(index));          \
    }                                                            \
    void Note::setter(const std::optional<Type>& v)              \
    {                                                            \
        setValue(index, variantFromOptional(v));                 \
    }

TARNWICK_OPTIONAL_ATTRIBUTE(QByteArray, bodyRichData, setBodyRichData, BodyRichData)
TARNWICK_OPTIONAL_ATTRIBUTE(QByteArray, bodyBlocksData, setBodyBlocksData, BodyBlocksData)
TARNWICK_OPTIONAL_ATTRIBUTE(QString, wallpaperID, setWallpaperID, WallpaperID)
TARNWICK_OPTIONAL_ATTRIBUTE(double, wallpaperBrightness, setWallpaperBrightness, WallpaperBrightness)
TARNWICK_OPTIONAL_ATTRIBUTE(double, wallpaperBlur, setWallpaperBlur, WallpaperBlur)
TARNWICK_OPTIONAL_ATTRIBUTE(QString, fontFamilyOverride, setFontFamilyOverride, FontFamilyOverride)
TARNWICK_OPTIONAL_ATTRIBUTE(QString, inkHexOverride, setInkHexOverride, InkHexOverride)
TARNWICK_OPTIONAL_ATTRIBUTE(QString, paperHexOverride, setPaperHexOverride, PaperHexOverride)
TARNWICK_OPTIONAL_ATTRIBUTE(QByteArray, lockedCipher, setLockedCipher, LockedCipher)
TARNWICK_OPTIONAL_ATTRIBUTE(QDateTime, reminderDate, setReminderDate, ReminderDate)
TARNWICK_OPTIONAL_ATTRIBUTE(QString, sourceApp, setSourceApp, SourceApp)
TARNWICK_OPTIONAL_ATTRIBUTE(QUrl, sourceURL, setSourceURL, SourceURL)
TARNWICK_OPTIONAL_ATTRIBUTE(QString, dayKey, setDayKey, DayKey)
TARNWICK_OPTIONAL_ATTRIBUTE(double, frameX, setFrameX, FrameX)
TARNWICK_OPTIONAL_ATTRIBUTE(double, frameY, setFrameY, FrameY)
TARNWICK_OPTIONAL_ATTRIBUTE(double, frameW, setFrameW, FrameW)
TARNWICK_OPTIONAL_ATTRIBUTE(double, frameH, setFrameH, FrameH)
TARNWICK_OPTIONAL_ATTRIBUTE(QDateTime, deletedAt, setDeletedAt, DeletedAt)

#undef TARNWICK_OPTIONAL_ATTRIBUTE

Tint Note::tint() const
{
    return Tint::fromRawValue(tintRaw()).value_or(Tint::blue);
}

QString Note::displayTitle() const
{
    const QString trimmedTitle = title().trimmed();
    if (!trimmedTitle.isEmpty()) return trimmedTitle;

    if (const auto key = dayKey()) {
        if (const auto day = formattedDay(*key); day && !day->isEmpty()) return *day;
    }

    // The first non-empty line; a first line of only spaces gives nothing, whatever follows it.
    const QString text = body();
    qsizetype start = 0;
    while (start < text.size() && text[start] == u'\n') ++start;
    if (start < text.size()) {
        const qsizetype end = text.indexOf(u'\n', start);
        const QString line = text.mid(start, end < 0 ? -1 : end - start).trimmed();
        if (!line.isEmpty()) return line;
    }
    return QStringLiteral("New Note");
}

QString Note::lockedTitle() const
{
    return lockedTitle(title());
}

QString Note::lockedTitle(const QString& title)
{
    const QString t = title.trimmed();
    return t.isEmpty() ? QStringLiteral("Private note") : t;
}

bool Note::isSealed() const
{
    return isLocked() && hasLockedCipher() && body().isEmpty() && !hasBodyRichData() && !hasBodyBlocksData();
}

bool Note::isContentEmpty() const
{
    if (isLocked() && hasLockedCipher()) return false;
    if (!title().trimmed().isEmpty()) return false;
    return body().trimmed().isEmpty();
}

std::optional<QRectF> Note::frameOnDesktop() const
{
    const auto x = frameX(), y = frameY(), w = frameW(), h = frameH();
    if (!x || !y || !w || !h) return std::nullopt;
    return QRectF(*x, *y, *w, *h);
}

void Note::setFrameOnDesktop(const std::optional<QRectF>& frame)
{
    setFrameX(frame ? std::optional(frame->x()) : std::nullopt);
    setFrameY(frame ? std::optional(frame->y()) : std::nullopt);
    setFrameW(frame ? std::optional(frame->width()) : std::nullopt);
    setFrameH(frame ? std::optional(frame->height()) : std::nullopt);
}

// ---- Day keys ----

namespace {

const QString kDayKeyFormat = QStringLiteral("yyyy-MM-dd");

// The display pattern for the user's locale from the skeleton "EEE MMM d", made once per process.
class DayFormatter {
public:
    DayFormatter()
    {
        UErrorCode status = U_ZERO_ERROR;
        const QByteArray locale = QLocale().name().toUtf8();
        std::unique_ptr<UDateTimePatternGenerator, void (*)(UDateTimePatternGenerator*)> generator(
            udatpg_open(locale.constData(), &status), udatpg_close);
        if (U_FAILURE(status)) return;
        const std::u16string skeleton = u"EEEMMMd";
        UChar pattern[128];
        const int32_t length =
            udatpg_getBestPattern(generator.get(), skeleton.data(), int32_t(skeleton.size()), pattern, 128, &status);
        if (U_FAILURE(status)) return;
        m_format = udat_open(UDAT_PATTERN, UDAT_PATTERN, locale.constData(), u"UTC", -1, pattern, length, &status);
        if (U_FAILURE(status)) {
            if (m_format) udat_close(m_format);
            m_format = nullptr;
        }
    }
    ~DayFormatter()
    {
        if (m_format) udat_close(m_format);
    }

    QString format(const QDate& date) const
    {
        if (!m_format) return QLocale().toString(date, QLocale::ShortFormat);
        // Noon UTC of that day, formatted in UTC: the day cannot shift with the time zone.
        const UDate when = double(QDateTime(date, QTime(12, 0), Qt::UTC).toMSecsSinceEpoch());
        UErrorCode status = U_ZERO_ERROR;
        UChar out[128];
        const int32_t length = udat_format(m_format, when, out, 128, nullptr, &status);
        if (U_FAILURE(status)) return QLocale().toString(date, QLocale::ShortFormat);
        return QString(reinterpret_cast<const QChar*>(out), length);
    }

private:
    UDateFormat* m_format = nullptr;
};

}  // namespace

std::optional<QDate> Note::dateFromDayKey(const QString& key)
{
    const QDate date = QLocale::c().toDate(key, kDayKeyFormat, QCalendar(QCalendar::System::Gregorian));
    if (!date.isValid()) return std::nullopt;
    return date;
}

std::optional<QString> Note::formattedDay(const QString& key)
{
    const auto date = dateFromDayKey(key);
    if (!date) return std::nullopt;
    static const DayFormatter formatter;
    return formatter.format(*date);
}

// ---- The body as blocks ----

const QVector<NoteBlock>* Note::writtenBlocks(const QByteArray& data) const
{
    // The bytes just written are usually the very same: megabytes are not compared then.
    const bool same = data.isSharedWith(m_writtenData) || data == m_writtenData;
    return !m_writtenData.isNull() && same ? &m_writtenBlocks : nullptr;
}

void Note::rememberWritten(const QByteArray& data, const QVector<NoteBlock>& blocks) const
{
    if (!m_watchingEnvelope) {
        m_watchingEnvelope = true;
        connect(this, &ManagedObject::attributeChanged, this, [this](int attribute) {
            if (attribute != BodyBlocksData || m_writtenData.isNull()) return;
            const std::optional<QByteArray> now = bodyBlocksData();
            if (now && *now == m_writtenData) return;
            m_writtenData = QByteArray();
            m_writtenBlocks.clear();
        });
    }
    m_writtenData = data;
    m_writtenBlocks = blocks;
}

std::optional<QVector<NoteBlock>> Note::decodedBlocks() const
{
    const auto data = bodyBlocksData();
    if (!data) return std::nullopt;
    if (const QVector<NoteBlock>* known = writtenBlocks(*data)) return *known;
    auto decoded = NoteBlockEnvelope::decode(*data);
    if (!decoded) return std::nullopt;
    rememberWritten(*data, *decoded);
    return std::move(*decoded);
}

QVector<NoteBlock> Note::blocks() const
{
    if (auto decoded = decodedBlocks()) return std::move(*decoded);
    // Unreadable, newer or absent: the plain body, so the note always opens. The store's upkeep deals
    // with the stored envelope.
    return {NoteBlock::text(TextRuns{body(), {}})};
}

bool Note::setBlocks(const QVector<NoteBlock>& list)
{
    const auto bytes = NoteBlockEnvelope::encode(list);
    if (!bytes) return false;
    setBodyBlocksData(*bytes);
    setBody(projectedBody(list));
    if (hasBodyRichData()) setBodyRichData(std::nullopt);
    rememberWritten(*bytes, list);
    return true;
}

QString Note::projectedBody(const QVector<NoteBlock>& list)
{
    // One text block (most notes, every capture): its text as it is, shared rather than copied.
    if (list.size() == 1)
        if (const TextRuns* text = list.first().textRuns()) return text->text;
    QStringList parts;
    parts.reserve(list.size());
    for (const NoteBlock& block : list) {
        if (const TextRuns* text = block.textRuns()) {
            parts.push_back(text->text);
        } else {
            parts.push_back(NoteBlock::imagePlaceholder);
        }
    }
    return parts.join(u'\n');
}

Result<Note::AppendedRange, Note::AppendError> Note::appendPlain(const QString& text, bool keepEmptyLine)
{
    // The fall-back block of blocks() would replace a body this build cannot read, and writing it
    // would clear an unconverted legacy body; either loses the user's content, so refuse instead.
    if (isSealed()) return AppendError::sealed;
    QVector<NoteBlock> list;
    if (const auto data = bodyBlocksData()) {
        if (const QVector<NoteBlock>* written = writtenBlocks(*data)) {
            list = *written;
        } else {
            auto decoded = NoteBlockEnvelope::decode(*data);
            if (!decoded) {
                return decoded.error().kind == NoteBlockEnvelope::Error::Kind::newerVersion ? AppendError::newerVersion
                                                                                            : AppendError::corrupt;
            }
            list = std::move(*decoded);
        }
    } else if (bodyRichData()) {
        return AppendError::legacyBody;
    } else {
        list = blocks();
    }
    AppendedRange result;
    const bool hadNoBlock = list.isEmpty();
    if (hadNoBlock) list.push_back(NoteBlock::text(TextRuns{}));
    result.newBlock = hadNoBlock;

    NoteBlock& last = list.last();
    if (TextRuns* runs = last.textRuns()) {
        result.blockID = last.id;
        if (runs->text.isEmpty() && !keepEmptyLine) {
            runs->text = text;
            result.range = {0, text.size()};
        } else {
            result.range = {runs->text.size() + 1, text.size()};
            // One copy of a long body, not two.
            runs->text.reserve(runs->text.size() + 1 + text.size());
            runs->text += u'\n';
            runs->text += text;
        }
    } else {
        list.push_back(NoteBlock::text(TextRuns{text, {}}));
        result.newBlock = true;
        result.blockID = list.last().id;
        result.range = {0, text.size()};
    }
    if (!setBlocks(list)) return AppendError::unwritable;
    return result;
}
