#include "app/lis/LisSettings.h"

#include <QSettings>
#include <QtGlobal>

namespace vorsilan::lis {

namespace {

// Each text setting: its key in QSettings, its environment variable and its field.
struct TextSetting {
    const char* key;
    const char* variable;
    QString LisSettings::*plain;
    QString MessageParties::*party;
};
const TextSetting TextSettings[] = {
    {"host", "VORSILAN_LIS_HOST", &LisSettings::host, nullptr},
    {"sendingApplication", "VORSILAN_LIS_SENDING_APP", nullptr,
     &MessageParties::sendingApplication},
    {"sendingFacility", "VORSILAN_LIS_SENDING_FACILITY", nullptr, &MessageParties::sendingFacility},
    {"receivingApplication", "VORSILAN_LIS_RECEIVING_APP", nullptr,
     &MessageParties::receivingApplication},
    {"receivingFacility", "VORSILAN_LIS_RECEIVING_FACILITY", nullptr,
     &MessageParties::receivingFacility},
};
constexpr char PortKey[] = "port";
constexpr char PortVariable[] = "VORSILAN_LIS_PORT";

QString& Field(LisSettings& values, const TextSetting& s) {
    return s.plain ? values.*s.plain : values.parties.*s.party;
}

quint16 PortFrom(const QString& text, quint16 otherwise) {
    bool ok = false;
    const uint port = text.trimmed().toUInt(&ok);
    return ok && port <= 65535 ? static_cast<quint16>(port) : otherwise;
}

} // namespace

LisSettings LoadLisSettings(QSettings& settings) {
    LisSettings values;
    settings.beginGroup(QStringLiteral("LIS"));
    for (const TextSetting& s : TextSettings) {
        QString& field = Field(values, s);
        field = settings.value(QString::fromLatin1(s.key), field).toString();
    }
    values.port = PortFrom(settings.value(QString::fromLatin1(PortKey)).toString(), 0);
    settings.endGroup();
    return values;
}

void SaveLisSettings(QSettings& settings, const LisSettings& values) {
    LisSettings copy = values;
    settings.beginGroup(QStringLiteral("LIS"));
    for (const TextSetting& s : TextSettings) {
        settings.setValue(QString::fromLatin1(s.key), Field(copy, s));
    }
    settings.setValue(QString::fromLatin1(PortKey), values.port);
    settings.endGroup();
}

LisSettings WithEnvironmentOverrides(LisSettings values) {
    for (const TextSetting& s : TextSettings) {
        if (qEnvironmentVariableIsSet(s.variable)) {
            Field(values, s) = qEnvironmentVariable(s.variable);
        }
    }
    if (qEnvironmentVariableIsSet(PortVariable)) {
        values.port = PortFrom(qEnvironmentVariable(PortVariable), values.port);
    }
    return values;
}

} // namespace vorsilan::lis
