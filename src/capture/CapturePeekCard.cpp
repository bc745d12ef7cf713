#include "capture/CapturePeekCard.h"

#include <QLocale>
#include <QRegularExpression>

#include "model/Capture.h"

bool CapturePeekCard::isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

CapturePeekCard CapturePeekCard::of(const Capture& capture)
{
    CapturePeekCard card;
    card.text = capture.text();
    const std::optional<QString> app = capture.sourceApp();
    card.chipText = app && !app->isEmpty() ? *app : QStringLiteral("Capture");
    card.desktopID = capture.sourceBundleID();
    if (const auto url = capture.sourceURL(); url && isWebAddress(*url)) card.link = *url;
    card.chipAccessibleName =
        card.link ? QStringLiteral("Open the source in ") + (app && !app->isEmpty() ? *app : QStringLiteral("its app"))
                  : card.chipText;
    card.createdAt = capture.createdAt();
    return card;
}

QString CapturePeekCard::dateText() const
{
    const QLocale locale;
    const QDateTime local = createdAt.toLocalTime();
    // The short time of some locales carries seconds; a capture's time reads to the minute.
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    timeFormat.remove(QRegularExpression(QStringLiteral("[:.]ss?")));
    return locale.toString(local.date(), QLocale::ShortFormat) + QStringLiteral(", ") +
           locale.toString(local.time(), timeFormat);
}
