#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QtGlobal>
#include <limits>
#include <optional>

// One object of another application's accessible tree: the bus name of its application and its path.
struct AccessibleObject {
    QString service;
    QString path;
    bool operator==(const AccessibleObject&) const = default;
};

// An object with what a walk decides on: its role and its states (bit n is state n of the
// accessibility bus, the first word of the two it sends in the low half).
struct AccessibleNode {
    AccessibleObject object;
    quint32 role = 0;
    quint64 states = 0;
};

// Roles and states of the accessibility bus that callers look at.
namespace AccessibleRole {
constexpr quint32 comboBox = 11, frame = 23, menu = 33, menuBar = 34, menuItem = 35, pushButton = 43, scrollBar = 48,
                  separator = 50, statusBar = 54, toggleButton = 62, toolBar = 63, toolTip = 64, entry = 79,
                  documentFrame = 82, documentWeb = 95;
}
namespace AccessibleState {
constexpr quint64 active = quint64(1) << 1, showing = quint64(1) << 25;
}

// Reads the accessible trees of other applications. Each call answers nothing when it fails: the
// object is gone or does not offer that interface, or time ran out (timedOut() then says so, and every
// later call answers nothing too).
class AccessibilityReader {
public:
    virtual ~AccessibilityReader() = default;
    // The applications registered on the bus, at most `limit` of them.
    virtual std::optional<QList<AccessibleObject>> applications(int limit) = 0;
    virtual std::optional<qint64> processID(const AccessibleObject& application) = 0;
    // The first `limit` children of an object, with their roles and states; a child that cannot tell
    // them is left out.
    virtual std::optional<QList<AccessibleNode>> children(const AccessibleObject& object, int limit) = 0;
    virtual std::optional<QString> name(const AccessibleObject& object) = 0;
    // Where an object stands on the screen (its window's place, for a top-level window).
    virtual std::optional<QRect> extents(const AccessibleObject& object) = 0;
    // One attribute of a document as a whole (its address, its type); empty when it has none.
    virtual std::optional<QString> documentAttribute(const AccessibleObject& document, const QString& attribute) = 0;
    virtual bool timedOut() const = 0;

    // An object's place from the numbers the bus gives (left, top, width, height): none when it is
    // empty, or when left plus width or top plus height lies past the largest int (a rectangle adds
    // them up).
    static std::optional<QRect> place(int x, int y, int width, int height)
    {
        constexpr qint64 largest = std::numeric_limits<int>::max();
        if (width <= 0 || height <= 0) return std::nullopt;
        if (qint64(x) + width > largest || qint64(y) + height > largest) return std::nullopt;
        return QRect(x, y, width, height);
    }
};
