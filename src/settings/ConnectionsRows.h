#pragma once

#include <QString>
#include <QStringList>

class MCPService;
class Settings;

// What the Connections tab shows for the endpoint's state at one moment.
struct ConnectionsRows {
    enum class Status { off, starting, running, failed };
    Status status = Status::off;
    QString statusText;
    // The address row, the token button and the setup instructions: only while switched on and the
    // address is known (the token loads when the endpoint first starts).
    bool showsEndpoint = false;
    // The endpoint's address while the listener holds its port; empty otherwise.
    QString address;
    // The approved clients, in stored order; empty while switched off.
    QStringList approved;

    static ConnectionsRows of(const MCPService& service, const Settings& settings);
    // "mcp.approvedClients" when it is a list of strings; anything else reads as empty.
    static QStringList approvedClients(const Settings& settings);
    static QString failedText();
};
