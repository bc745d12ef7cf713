#include "settings/ConnectionsRows.h"

#include "mcp/MCPListener.h"
#include "mcp/MCPService.h"
#include "platform/Settings.h"

QString ConnectionsRows::failedText()
{
    return QStringLiteral("Not running: no port from %1 to %2 could be opened")
        .arg(MCPService::kDefaultPort)
        .arg(MCPService::kDefaultPort + MCPListener::kFallbackPorts);
}

QStringList ConnectionsRows::approvedClients(const Settings& settings)
{
    const QVariant value = settings.value(QStringLiteral("mcp.approvedClients"));
    if (value.typeId() != QMetaType::QStringList) {
        if (value.typeId() != QMetaType::QVariantList) return {};
        QStringList names;
        for (const QVariant& item : value.toList()) {
            if (item.typeId() != QMetaType::QString) return {};
            names << item.toString();
        }
        return names;
    }
    return value.toStringList();
}

ConnectionsRows ConnectionsRows::of(const MCPService& service, const Settings& settings)
{
    ConnectionsRows rows;
    if (!service.enabled()) {
        rows.statusText = QStringLiteral("Off");
        return rows;
    }
    if (service.isRunning()) {
        rows.status = Status::running;
        rows.statusText = QStringLiteral("Running · 127.0.0.1:") + QString::number(service.port());
    } else if (service.startFailed()) {
        rows.status = Status::failed;
        rows.statusText = failedText();
    } else {
        rows.status = Status::starting;
        rows.statusText = QStringLiteral("Starting…");
    }
    rows.showsEndpoint = !service.token().isEmpty();
    // Only a port the listener holds: before it binds, or after it failed to, the port in the address
    // may be another program's.
    if (rows.showsEndpoint && service.isRunning()) rows.address = service.endpointURL();
    rows.approved = approvedClients(settings);
    return rows;
}
