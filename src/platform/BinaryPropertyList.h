#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

#include "platform/Result.h"

// A reader of binary property lists ("bplist00"), the container format of the other platform's keyed
// archives. Objects are kept in one flat table and refer to each other by index, so shared and even
// cyclic references cost nothing here; the layer above decides what a reference means. The input is
// untrusted: every offset, count and reference is checked, and the limits bound what it may allocate.
class BinaryPropertyList {
public:
    struct Limits {
        qsizetype maxBytes = 32 * 1024 * 1024;  // input size, and separately all data, text and references read
        qsizetype maxObjects = 200000;
    };

    enum class Kind { Null, Bool, Integer, Real, Date, Data, String, Uid, Array, Set, Dictionary };

    struct Object {
        Kind kind = Kind::Null;
        bool boolean = false;
        qint64 integer = 0;  // Integer, and the value of a Uid
        double real = 0;     // Real, and Date (seconds since 2001)
        QByteArray data;
        QString string;
        // Array and Set: the elements. Dictionary: n keys followed by their n values.
        std::vector<quint32> refs;

        qsizetype count() const
        {
            return kind == Kind::Dictionary ? qsizetype(refs.size() / 2) : qsizetype(refs.size());
        }
    };

    struct Error {
        bool limitExceeded = false;  // well-formed as far as read, but beyond the limits
        QString detail;
    };

    static Result<BinaryPropertyList, Error> parse(const QByteArray& bytes, const Limits& limits);
    static Result<BinaryPropertyList, Error> parse(const QByteArray& bytes) { return parse(bytes, Limits{}); }

    quint32 topObject() const { return m_top; }
    qsizetype size() const { return qsizetype(m_objects.size()); }
    const Object& object(quint32 index) const { return m_objects.at(index); }
    // The value stored under a string key of a dictionary object, if the object is one and has the key.
    std::optional<quint32> value(quint32 dictionary, QStringView key) const;

private:
    std::vector<Object> m_objects;
    quint32 m_top = 0;
};
