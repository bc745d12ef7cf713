#pragma once

#include <QDateTime>
#include <QUrl>
#include <QUuid>
#include <optional>

#include "platform/ManagedObject.h"

// The stored record of one captured piece of text: the text, where it came from, when, whether it is
// pinned on the shelf, and the note it was filed into (a plain UUID, not a relationship: deleting the
// note leaves the capture).
class Capture : public ManagedObject {
    Q_OBJECT
public:
    enum Attribute { Uuid, Text, SourceApp, SourceBundleID, SourceURL, SourceTitle, CreatedAt, IsPinned, NoteUUID };

    static const EntityDescription& entityDescription();

    // Schema defaults only; the store fills the values of a loaded row.
    Capture();
    // A new capture with a new UUID, taken at `createdAt`, not pinned. Not inserted anywhere.
    Capture(const QString& text, const std::optional<QString>& sourceApp, const std::optional<QString>& sourceBundleID,
            const std::optional<QUrl>& sourceURL, const std::optional<QString>& sourceTitle,
            const std::optional<QUuid>& noteUUID, const QDateTime& createdAt);

    QUuid uuid() const { return value(Uuid).toUuid(); }
    void setUuid(const QUuid& v) { setValue(Uuid, v); }
    QString text() const { return value(Text).toString(); }
    void setText(const QString& v) { setValue(Text, v); }
    std::optional<QString> sourceApp() const;
    void setSourceApp(const std::optional<QString>& v);
    std::optional<QString> sourceBundleID() const;
    void setSourceBundleID(const std::optional<QString>& v);
    std::optional<QUrl> sourceURL() const;
    void setSourceURL(const std::optional<QUrl>& v);
    std::optional<QString> sourceTitle() const;
    void setSourceTitle(const std::optional<QString>& v);
    QDateTime createdAt() const { return value(CreatedAt).toDateTime(); }
    void setCreatedAt(const QDateTime& v) { setValue(CreatedAt, v); }
    bool isPinned() const { return value(IsPinned).toBool(); }
    void setIsPinned(bool v) { setValue(IsPinned, v); }
    std::optional<QUuid> noteUUID() const;
    void setNoteUUID(const std::optional<QUuid>& v);
};
