#pragma once
// The LIS link's settings: where the LIS listens and the names of both ends in MSH. They
// are kept with QSettings in the group "LIS"; environment variables override them for a
// run (the demo, a test bench):
//
//   VORSILAN_LIS_HOST, VORSILAN_LIS_PORT,
//   VORSILAN_LIS_SENDING_APP, VORSILAN_LIS_SENDING_FACILITY,
//   VORSILAN_LIS_RECEIVING_APP, VORSILAN_LIS_RECEIVING_FACILITY
//
// The export is off until a host and a port are set.

#include "app/lis/OruMessage.h"

#include <QString>

class QSettings;

namespace vorsilan::lis {

struct LisSettings {
    QString host;
    quint16 port = 0;
    MessageParties parties{QStringLiteral("VORSILAN"), QString(), QStringLiteral("LIS"), QString()};

    bool Configured() const { return !host.isEmpty() && port != 0; }
};

LisSettings LoadLisSettings(QSettings& settings);
void SaveLisSettings(QSettings& settings, const LisSettings& values);
// The settings with this run's environment variables laid over them.
LisSettings WithEnvironmentOverrides(LisSettings values);

} // namespace vorsilan::lis
