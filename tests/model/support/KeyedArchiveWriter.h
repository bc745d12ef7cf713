#pragma once

#include <QByteArray>
#include <QString>
#include <utility>
#include <variant>
#include <vector>

// Writes binary property lists and keyed archives for test fixtures, so that tests say what an archive
// holds instead of carrying opaque blobs.
class PlistWriter {
public:
    struct Uid {
        quint64 value;
    };
    struct Ref {
        quint32 index;
    };
    // One object of the flat table; containers refer to other objects by index.
    struct Object {
        enum class Kind { String, Data, Integer, Real, Bool, Uid, Array, Dictionary };
        Kind kind;
        QString string;
        QByteArray data;
        qint64 integer = 0;
        double real = 0;
        std::vector<quint32> refs;  // Array: elements; Dictionary: keys then values
    };

    Ref add(Object object);
    Ref string(const QString& s) { return add({Object::Kind::String, s}); }
    Ref data(const QByteArray& d) { return add({Object::Kind::Data, {}, d}); }
    Ref integer(qint64 v) { return add({Object::Kind::Integer, {}, {}, v}); }
    Ref real(double v) { return add({Object::Kind::Real, {}, {}, 0, v}); }
    Ref boolean(bool v) { return add({Object::Kind::Bool, {}, {}, v ? 1 : 0}); }
    Ref uid(quint64 v) { return add({Object::Kind::Uid, {}, {}, qint64(v)}); }
    Ref array(const std::vector<Ref>& items);
    Ref dictionary(const std::vector<std::pair<QString, Ref>>& entries);
    Object& object(Ref ref) { return m_objects[ref.index]; }

    QByteArray write(Ref top) const;

private:
    std::vector<Object> m_objects;
};

class KeyedArchiveWriter {
public:
    using Uid = PlistWriter::Uid;
    // A member of an archived object: a reference, or a value written inline.
    using Field = std::variant<Uid, qint64, double, QString, QByteArray, std::vector<Uid>>;
    using Fields = std::vector<std::pair<QString, Field>>;

    KeyedArchiveWriter();

    Uid string(const QString& s);
    Uid number(double v);
    Uid instance(const QString& className, const Fields& fields);
    // A slot to fill later, for graphs that refer back to an object still being written.
    Uid reserve();
    void fill(Uid slot, const QString& className, const Fields& fields);

    Uid array(const std::vector<Uid>& items) { return instance("NSArray", {{"NS.objects", items}}); }
    Uid dictionary(const std::vector<std::pair<QString, Uid>>& entries);
    Uid font(const QString& postScriptName, double size);
    Uid rgbColor(double r, double g, double b, double a = 1.0);
    Uid url(const QString& text);
    Uid attachment(const QByteArray& fileContents);
    // Runs are (length, attribute dictionary); one run is written without the run table.
    Uid attributedString(const QString& text, const std::vector<std::pair<qsizetype, Uid>>& runs);

    QByteArray finish(Uid root, const QString& archiver = "NSKeyedArchiver");

    PlistWriter& plist() { return m_plist; }

private:
    Uid classRef(const QString& name);
    PlistWriter::Ref field(const Field& value);

    PlistWriter m_plist;
    std::vector<PlistWriter::Ref> m_objects;  // the archive's objects, by position
    std::vector<std::pair<QString, Uid>> m_classes;
};
