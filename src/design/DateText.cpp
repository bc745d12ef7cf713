#include "design/DateText.h"

#include <unicode/udat.h>
#include <unicode/udatpg.h>

#include <QHash>
#include <QLocale>
#include <memory>
#include <optional>
#include <string>

namespace {

// One ICU formatter for a skeleton (or the short time style) in the user's locale, always on the
// Gregorian calendar so that the year shown is the year compared. It formats in UTC: callers hand it
// a wall-clock day and time already taken in their zone.
class IcuFormatter {
public:
    IcuFormatter(const QString& locale, const std::u16string& skeleton)
    {
        const QByteArray id = (locale + QLatin1String("@calendar=gregorian")).toUtf8();
        UErrorCode status = U_ZERO_ERROR;
        if (skeleton.empty()) {
            m_format = udat_open(UDAT_SHORT, UDAT_NONE, id.constData(), u"UTC", -1, nullptr, 0, &status);
        } else {
            std::unique_ptr<UDateTimePatternGenerator, void (*)(UDateTimePatternGenerator*)> generator(
                udatpg_open(id.constData(), &status), udatpg_close);
            if (U_FAILURE(status)) return;
            UChar pattern[128];
            const int32_t length = udatpg_getBestPattern(generator.get(), skeleton.data(), int32_t(skeleton.size()),
                                                         pattern, 128, &status);
            if (U_FAILURE(status)) return;
            m_format = udat_open(UDAT_PATTERN, UDAT_PATTERN, id.constData(), u"UTC", -1, pattern, length, &status);
        }
        if (U_FAILURE(status)) {
            if (m_format) udat_close(m_format);
            m_format = nullptr;
        }
    }
    ~IcuFormatter()
    {
        if (m_format) udat_close(m_format);
    }
    IcuFormatter(const IcuFormatter&) = delete;
    IcuFormatter& operator=(const IcuFormatter&) = delete;

    std::optional<QString> format(const QDateTime& wallClockAsUtc) const
    {
        if (!m_format) return std::nullopt;
        UErrorCode status = U_ZERO_ERROR;
        UChar out[128];
        const int32_t length =
            udat_format(m_format, double(wallClockAsUtc.toMSecsSinceEpoch()), out, 128, nullptr, &status);
        if (U_FAILURE(status)) return std::nullopt;
        return QString(reinterpret_cast<const QChar*>(out), length);
    }

private:
    UDateFormat* m_format = nullptr;
};

// Formatters are costly to make and list rows ask for them constantly; one per locale and skeleton.
const IcuFormatter& formatter(const std::u16string& skeleton)
{
    static QHash<QString, std::shared_ptr<IcuFormatter>> cache;
    const QString locale = QLocale().name();
    const QString key = locale + u'|' + QString::fromStdU16String(skeleton);
    auto& slot = cache[key];
    if (!slot) slot = std::make_shared<IcuFormatter>(locale, skeleton);
    return *slot;
}

}  // namespace

QString DateText::day(const QDate& day, const char16_t* skeleton)
{
    // Noon of that day: no zone arithmetic can move it to a neighbouring day.
    if (auto text = formatter(skeleton).format(QDateTime(day, QTime(12, 0), Qt::UTC))) return *text;
    return QLocale().toString(day, QLocale::ShortFormat);
}

QString DateText::time(const QTime& time)
{
    const QTime minute(time.hour(), time.minute());
    if (auto text = formatter({}).format(QDateTime(QDate(2001, 1, 1), minute, Qt::UTC))) return *text;
    return QLocale().toString(minute, QLocale::ShortFormat);
}

QString DateText::dateAndTime(const QDateTime& local)
{
    if (!local.isValid()) return {};
    return day(local.date(), u"yMMMd") + QStringLiteral(", ") + time(local.time());
}
