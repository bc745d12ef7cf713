#include "GeneratedStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <map>

#include "platform/ModelContainer.h"
#include "store/TarnwickSchemaV2.h"

QString benchPath(const QString& name)
{
    static QTemporaryDir temporary;
    const QString chosen = qEnvironmentVariable("TARNWICK_BENCH_DIR");
    return (chosen.isEmpty() ? temporary.path() : chosen) + QLatin1Char('/') + name;
}

QString generatedStore(const QString& name, const std::function<void(ModelContext&)>& fill)
{
    static std::map<QString, QString> made;
    if (auto it = made.find(name); it != made.end()) return it->second;
    const QString dir = benchPath(name);
    const QString path = dir + QStringLiteral("/default.store");
    made[name] = path;
    if (QFile::exists(path)) return path;
    QDir().mkpath(dir);
    auto container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), path)).value();
    ModelContext& context = container->mainContext();
    context.setAutosaveEnabled(false);
    fill(context);
    if (!context.save()) qFatal("generating the store failed");
    return path;
}
