#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <memory>

#include "platform/AccessibilityReader.h"

// The accessible trees of the desktop, read over its accessibility bus (AT-SPI) with plain D-Bus
// calls. Every call waits at most until the reader's deadline. The reader has a connection of its
// own, opened for one read and closed with it: nothing is kept between reads.
class AtspiAccessibilityReader final : public AccessibilityReader {
public:
    // A reader when the desktop's accessibility bus is running; none otherwise (or when time ran out).
    // Never starts the bus nor switches accessibility on: an application that does not expose its tree
    // stays unread.
    static std::unique_ptr<AtspiAccessibilityReader> connect(QDeadlineTimer deadline);
    ~AtspiAccessibilityReader() override;

    std::optional<QList<AccessibleObject>> applications(int limit) override;
    std::optional<qint64> processID(const AccessibleObject& application) override;
    std::optional<QList<AccessibleNode>> children(const AccessibleObject& object, int limit) override;
    std::optional<QString> name(const AccessibleObject& object) override;
    std::optional<QRect> extents(const AccessibleObject& object) override;
    std::optional<QString> documentAttribute(const AccessibleObject& document, const QString& attribute) override;
    bool timedOut() const override { return m_timedOut; }

private:
    AtspiAccessibilityReader(const QDBusConnection& bus, QDeadlineTimer deadline);
    // The reply's arguments, or none on an error; a reply that never came ends the reader.
    std::optional<QList<QVariant>> call(const QDBusMessage& message);
    std::optional<QVariant> property(const AccessibleObject& object, const QString& name);
    int timeLeft();
    bool failed(const QDBusMessage& reply);

    QDBusConnection m_bus;
    QDeadlineTimer m_deadline;
    bool m_timedOut = false;
};
