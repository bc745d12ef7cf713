#pragma once

#include <QByteArray>
#include <ctime>

// The process's local time zone set to `zone` for the life of the object (Qt reads TZ as the C
// library does), and set back after.
class LocalZone {
public:
    explicit LocalZone(const char* zone) : m_had(qEnvironmentVariableIsSet("TZ")), m_was(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~LocalZone()
    {
        if (m_had)
            qputenv("TZ", m_was);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    bool m_had;
    QByteArray m_was;
};
