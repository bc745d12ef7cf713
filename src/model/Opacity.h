#pragma once

#include <QString>
#include <optional>

// The opacity level named when a note is made; kept only as the note's opacityRaw.
class Opacity {
public:
    enum Value { solid, medium, high };

    constexpr Opacity(Value v = solid) : m_value(v) {}
    constexpr operator Value() const { return m_value; }

    QString rawValue() const
    {
        switch (m_value) {
            case solid:
                return QStringLiteral("solid");
            case medium:
                return QStringLiteral("medium");
            case high:
                return QStringLiteral("high");
        }
        return QString();
    }

    static std::optional<Opacity> fromRawValue(const QString& raw)
    {
        for (Opacity o : {solid, medium, high})
            if (o.rawValue() == raw) return o;
        return std::nullopt;
    }

private:
    Value m_value;
};
