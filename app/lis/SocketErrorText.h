#pragma once
// What went wrong with a TCP connection to the LIS, in Russian, for the status bar and the
// link dialog.

#include <QAbstractSocket>
#include <QString>

#include <chrono>

namespace vorsilan::lis {

// The text of a socket error; `detail` (Qt's own text) for the rarer ones.
QString SocketErrorText(QAbstractSocket::SocketError error, const QString& detail);

// A duration in seconds as the user's locale writes numbers ("0,3", "5").
QString SecondsText(std::chrono::milliseconds duration);

} // namespace vorsilan::lis
