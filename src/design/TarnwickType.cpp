#include "design/TarnwickType.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <cmath>
#include <mutex>

#include "platform/Log.h"
#include "platform/Resources.h"

namespace {
const QString kNewsreader = QStringLiteral("Newsreader");
}  // namespace

QFont TarnwickType::system(qreal designSize, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(pointSize(designSize));
    font.setWeight(weight);
    return font;
}

QFont TarnwickType::brand(qreal designSize, QFont::Weight weight)
{
    if (newsreaderAvailable()) {
        QFont font(kNewsreader);
        font.setPointSizeF(pointSize(designSize));
        font.setWeight(weight);
        return font;
    }
    // "serif" is the fontconfig alias for the system's serif face; the hint covers other font back ends.
    QFont font(QStringLiteral("serif"));
    font.setStyleHint(QFont::Serif);
    font.setPointSizeF(pointSize(designSize));
    font.setWeight(weight);
    return font;
}

const QFont& TarnwickType::readerBody()
{
    static const QFont f = system(14);
    return f;
}

const QFont& TarnwickType::noteBody()
{
    static const QFont f = system(14);
    return f;
}

const QFont& TarnwickType::caption()
{
    static const QFont f = system(11);
    return f;
}

const QFont& TarnwickType::mono()
{
    static const QFont f = [] {
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSizeF(pointSize(12));
        font.setWeight(QFont::Normal);
        return font;
    }();
    return f;
}

qreal TarnwickType::readerLineSpacing()
{
    static const qreal spacing = [] {
        const QFontMetricsF metrics(system(14));
        // Qt gives the descent as a positive distance, so ascent + descent is the full height.
        const qreal natural = std::ceil(metrics.ascent() + metrics.descent() + metrics.leading());
        return std::max<qreal>(0, 20.3 - natural);
    }();
    return spacing;
}

bool TarnwickType::newsreaderAvailable()
{
    return QFontDatabase::families().contains(kNewsreader);
}

bool TarnwickType::registerFont(const QString& file)
{
    // The face is optional: without it brand headings use the system serif, which is no fault.
    if (file.isEmpty()) {
        qCInfo(Log::app, "Newsreader.ttf not found in the data folder; brand headings fall back to the system serif.");
        return false;
    }
    if (QFontDatabase::addApplicationFont(file) < 0) {
        qCInfo(Log::app, "Newsreader registration: %s", "the font file could not be read");
        return false;
    }
    return true;
}

void TarnwickType::registerBundledFonts()
{
    static std::once_flag once;
    std::call_once(once, [] { registerFont(Resources::dataFile(QStringLiteral("fonts/Newsreader.ttf"))); });
}
