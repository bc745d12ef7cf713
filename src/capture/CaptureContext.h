#pragma once

#include <QString>
#include <QUrl>
#include <optional>

// A capture's input: the selected text exactly as read, and where it came from.
struct CaptureContext {
    QString text;
    std::optional<QString> sourceApp;       // the application's name
    std::optional<QString> sourceBundleID;  // its desktop-file id
    std::optional<QUrl> sourceURL;          // the browser tab's address
    std::optional<QString> sourceTitle;     // the browser tab's title
};
