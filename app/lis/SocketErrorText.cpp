#include "app/lis/SocketErrorText.h"

#include <QLocale>

namespace vorsilan::lis {

QString SocketErrorText(QAbstractSocket::SocketError error, const QString& detail) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("соединение отклонено (на этом порту никто не принимает)");
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("ЛИС закрыла соединение");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("узел не найден");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("время ожидания истекло");
    case QAbstractSocket::NetworkError:
        return QStringLiteral("сеть недоступна");
    default:
        return detail;
    }
}

QString SecondsText(std::chrono::milliseconds duration) {
    return QLocale::system().toString(double(duration.count()) / 1000.0);
}

} // namespace vorsilan::lis
