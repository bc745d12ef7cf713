#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <QVariant>
#include <QVector>
#include <functional>

class ManagedObject;
class ModelContext;

// Stored attribute types and the QVariant type each is held in:
//   Uuid → QUuid, String → QString, Bool → bool, Int → qint64, Double → double,
//   Date → QDateTime (UTC), Data → QByteArray, StringList → QStringList, Url → QUrl.
// An optional attribute holds an invalid QVariant for "none".
enum class AttributeType { Uuid, String, Bool, Int, Double, Date, Data, StringList, Url };

struct AttributeDescription {
    QString name;
    AttributeType type;
    bool optional = false;
    // The value a new object holds. Uuid and Date attributes without one get a new random UUID and
    // the epoch: whoever makes an object stamps its dates from their own clock.
    QVariant defaultValue;
    // The name the attribute was stored under before; a store that has that column is migrated as
    // a rename with every value kept.
    QString originalName;
    // The store may keep the bytes in a file beside the database instead of in the row.
    bool externalStorage = false;
    // Uuid attributes only: the context keeps an index from value to objects, so lookups by this
    // attribute need no scan.
    bool indexed = false;
    // A stored row's value is read the first time it is asked for, like a large value. For long texts
    // that lists never show (a note's body), so listing every row does not hold them all.
    bool loadOnAccess = false;

    // Whether a stored row's value waits in the store until asked for.
    bool isLoadedOnAccess() const { return type == AttributeType::Data || loadOnAccess; }
};

// One entity of the schema: its table name, attributes in schema order, and how to make an instance.
struct EntityDescription {
    QString name;
    QVector<AttributeDescription> attributes;
    std::function<ManagedObject*()> make;

    int indexOf(const QString& attribute) const;
};

// A stored, observable object. Holds one value per attribute of its entity, remembers the values as
// last saved, and tells its context when it changed. Every assignment emits attributeChanged (also
// when the value is equal); only a real difference from the saved value counts as an unsaved change.
class ManagedObject : public QObject {
    Q_OBJECT
public:
    explicit ManagedObject(const EntityDescription& entity);
    ~ManagedObject() override;

    const EntityDescription& entity() const { return *m_entity; }
    ModelContext* context() const { return m_context; }
    // The row's identity in the store (0 until the object is first saved). Distinct rows may share a
    // UUID; this is what tells them apart.
    qint64 rowID() const { return m_rowID; }

    // A large value (a Data attribute, or one loaded on access) of a stored row is read from the store
    // the first time it is asked for, so rows that are only listed never hold it.
    const QVariant& value(int attribute) const
    {
        if (m_unloaded && attribute < 64 && (m_unloaded & (quint64(1) << attribute))) loadValue(attribute);
        return m_values[attribute];
    }
    // True when the attribute holds a value (is not none), without reading a large value.
    bool hasValue(int attribute) const
    {
        return (attribute < 64 && (m_unloaded & (quint64(1) << attribute))) || m_values[attribute].isValid();
    }
    // Large values read so far and unchanged since are let go; they are read again when asked for.
    // Returns whether the object still holds one (changed, not saved yet, or not stored).
    bool releaseLargeValues();
    void setValue(int attribute, const QVariant& value);

    // True when some attribute differs from what was last saved or loaded.
    bool hasChanges() const;
    bool isChanged(int attribute) const;
    // Increases on every real change; caches keyed on an object compare it.
    quint64 version() const { return m_version; }
    // Distinct for every object made in this process: tells an object from a later one that took the
    // same address.
    quint64 serial() const { return m_serial; }
    bool isDeleted() const { return m_deleted; }
    // Inserted into a context and not saved yet.
    bool isInserted() const { return m_rowID == 0 && m_context != nullptr && !m_deleted; }

    // Normalises a value to the attribute's storage type (an int becomes qint64, a local date UTC).
    static QVariant normalized(AttributeType type, const QVariant& value);

Q_SIGNALS:
    void attributeChanged(int attribute);

protected:
    // True while the context makes the object of a stored row: its values come from the row after the
    // constructor, which must neither read nor set any.
    static bool makingStoredRow() { return s_loading; }

private:
    friend class ModelContext;
    void markSaved();
    void loadValue(int attribute) const;

    // Set by the context while it makes objects for stored rows: their values come from the row, so
    // the constructor skips making defaults (a new UUID and the clock for every row).
    static bool s_loading;

    const EntityDescription* m_entity;
    ModelContext* m_context = nullptr;
    qint64 m_rowID = 0;
    bool m_deleted = false;
    quint64 m_version = 0;
    quint64 m_insertSerial = 0;  // order of insertion among unsaved objects
    const quint64 m_serial;
    // Unchanged objects share one array between the two (implicit sharing): read them through const
    // access only, or each object pays for a second copy.
    QVector<QVariant> m_values;
    QVector<QVariant> m_saved;
    // Attributes of a stored row whose value is present in the store but not read yet.
    mutable quint64 m_unloaded = 0;
    // Listed with the context as holding a large value.
    bool m_holdsLarge = false;
    // Attributes whose stored value is not the held one (the context's stored form replaced them).
    quint64 m_storedOtherwise = 0;
    // The row is to be written again as held at the next save (ModelContext::rewrite).
    bool m_rewrite = false;
};

// Strict equality for stored values: same type and same value (an empty string is not "none").
bool storedValuesEqual(const QVariant& a, const QVariant& b);
