#include "platform/ManagedObject.h"

#include "platform/ModelContext.h"

#include <atomic>

int EntityDescription::indexOf(const QString& attribute) const
{
    for (int i = 0; i < attributes.size(); ++i)
        if (attributes[i].name == attribute) return i;
    return -1;
}

bool storedValuesEqual(const QVariant& a, const QVariant& b)
{
    if (a.isValid() != b.isValid()) return false;
    if (!a.isValid()) return true;
    if (a.typeId() != b.typeId()) return false;
    return a == b;
}

QVariant ManagedObject::normalized(AttributeType type, const QVariant& value)
{
    if (!value.isValid()) return value;
    switch (type) {
        case AttributeType::Uuid:
            return value.typeId() == QMetaType::QUuid ? value : QVariant(QUuid(value.toString()));
        case AttributeType::String:
            return value.typeId() == QMetaType::QString ? value : QVariant(value.toString());
        case AttributeType::Bool:
            return QVariant(value.toBool());
        case AttributeType::Int:
            return QVariant::fromValue<qint64>(value.toLongLong());
        case AttributeType::Double:
            return QVariant(value.toDouble());
        case AttributeType::Date:
            return QVariant(value.toDateTime().toUTC());
        case AttributeType::Data:
            return value.typeId() == QMetaType::QByteArray ? value : QVariant(value.toByteArray());
        case AttributeType::StringList:
            return QVariant(value.toStringList());
        case AttributeType::Url:
            return value.typeId() == QMetaType::QUrl ? value : QVariant(QUrl(value.toString()));
    }
    return value;
}

bool ManagedObject::s_loading = false;

namespace {
std::atomic<quint64> s_lastSerial = 0;
}

ManagedObject::ManagedObject(const EntityDescription& entity)
    : m_entity(&entity), m_serial(s_lastSerial.fetch_add(1, std::memory_order_relaxed) + 1)
{
    // A stored row's object is handed its values by the context.
    if (s_loading) return;
    m_values.reserve(entity.attributes.size());
    // The same "no date" as a stored row whose date column is empty; the maker stamps the real one.
    const QDateTime epoch = QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
    for (const AttributeDescription& a : entity.attributes) {
        QVariant v = a.defaultValue;
        if (!v.isValid() && !a.optional) {
            switch (a.type) {
                case AttributeType::Uuid:
                    v = QUuid::createUuid();
                    break;
                case AttributeType::Date:
                    v = epoch;
                    break;
                case AttributeType::String:
                    v = QString();
                    break;
                case AttributeType::Bool:
                    v = false;
                    break;
                case AttributeType::Int:
                    v = QVariant::fromValue<qint64>(0);
                    break;
                case AttributeType::Double:
                    v = 0.0;
                    break;
                case AttributeType::Data:
                    v = QByteArray();
                    break;
                case AttributeType::StringList:
                    v = QStringList();
                    break;
                case AttributeType::Url:
                    v = QUrl();
                    break;
            }
        }
        m_values.push_back(normalized(a.type, v));
    }
    m_saved = m_values;
}

ManagedObject::~ManagedObject() = default;

void ManagedObject::loadValue(int attribute) const
{
    auto* self = const_cast<ManagedObject*>(this);
    self->m_unloaded &= ~(quint64(1) << attribute);
    if (!m_context) return;
    const bool shared = !hasChanges();
    self->m_values[attribute] = m_context->storedValue(*this, attribute);
    m_context->holdsLargeValues(self);
    if (shared)
        self->m_saved = m_values;
    else
        self->m_saved[attribute] = m_values.at(attribute);
}

bool ManagedObject::releaseLargeValues()
{
    if (m_deleted) return false;
    if (!m_context || m_rowID == 0) return true;
    const bool shared = !hasChanges();
    bool holds = false;
    for (int i = 0; i < m_values.size(); ++i) {
        if (i >= 64 || !m_entity->attributes[i].isLoadedOnAccess() || !m_values.at(i).isValid()) continue;
        if (isChanged(i) || (m_storedOtherwise & (quint64(1) << i))) {
            holds = true;
            continue;
        }
        m_values[i] = QVariant();
        if (!shared) m_saved[i] = QVariant();
        m_unloaded |= quint64(1) << i;
    }
    if (shared) m_saved = m_values;
    return holds;
}

void ManagedObject::setValue(int attribute, const QVariant& value)
{
    // The comparison with the stored value needs the stored value.
    if (attribute < 64 && (m_unloaded & (quint64(1) << attribute))) loadValue(attribute);
    const QVariant v = normalized(m_entity->attributes[attribute].type, value);
    if (!storedValuesEqual(m_values[attribute], v)) {
        if (m_context && m_entity->attributes[attribute].indexed)
            m_context->indexedValueWillChange(this, attribute, m_values[attribute], v);
        m_values[attribute] = v;
        ++m_version;
        if (m_context && attribute < 64 && m_entity->attributes[attribute].isLoadedOnAccess())
            m_context->holdsLargeValues(this);
        if (m_context) m_context->objectDidChange(this);
    }
    Q_EMIT attributeChanged(attribute);
}

bool ManagedObject::hasChanges() const
{
    if (m_rewrite) return true;
    // One shared array: nothing was assigned since the last save or load.
    if (m_values.constData() == m_saved.constData()) return false;
    for (int i = 0; i < m_values.size(); ++i)
        if (!storedValuesEqual(m_values[i], m_saved[i])) return true;
    return false;
}

bool ManagedObject::isChanged(int attribute) const
{
    if (m_values.constData() == m_saved.constData()) return false;
    return !storedValuesEqual(m_values[attribute], m_saved[attribute]);
}

void ManagedObject::markSaved()
{
    m_saved = m_values;
}
