#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>
#include <optional>

class Capture;

// What the peek card says about one capture, decided apart from the widgets.
struct CapturePeekCard {
    QString text;
    QString chipText;  // the source application, else "Capture"
    std::optional<QString> desktopID;
    // Only a web address makes the chip a link: any other scheme would hand an arbitrary command
    // line or file to the desktop's opener.
    std::optional<QUrl> link;
    QString chipAccessibleName;  // "Open the source in …" when linked
    QDateTime createdAt;

    static CapturePeekCard of(const Capture& capture);
    static bool isWebAddress(const QUrl& url);
    // The date in the user's locale: abbreviated date, short time.
    QString dateText() const;
};
