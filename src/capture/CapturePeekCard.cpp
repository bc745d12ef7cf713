#include "capture/CapturePeekCard.h"

#include "design/DateText.h"

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
    // Written as the shelf writes it, by the one formatter.
    return DateText::dateAndTime(createdAt.toLocalTime());
}
