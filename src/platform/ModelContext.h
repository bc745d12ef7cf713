#pragma once

// Placeholder until the SQLite-backed object store lands: declares the hook ManagedObject calls.
#include <QObject>

class ManagedObject;

class ModelContext : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Called by a managed object after a real change of one of its values.
    virtual void objectDidChange(ManagedObject* object) = 0;
};
