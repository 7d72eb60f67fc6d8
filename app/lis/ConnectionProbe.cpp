#include "app/lis/ConnectionProbe.h"

#include "app/lis/SocketErrorText.h"

namespace vorsilan::lis {

ConnectionProbe::ConnectionProbe(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { Finish(Outcome::TimedOut, QString()); });
    connect(&socket_, &QTcpSocket::connected, this,
            [this] { Finish(Outcome::Connected, QString()); });
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        Finish(error == QAbstractSocket::ConnectionRefusedError ? Outcome::Refused
                                                                : Outcome::Failed,
               SocketErrorText(error, socket_.errorString()));
    });
}

void ConnectionProbe::Start(const QString& host, quint16 port, std::chrono::milliseconds bound) {
    socket_.abort();
    running_ = true;
    bound_ = bound;
    timer_.start(bound);
    socket_.connectToHost(host, port);
}

QString ConnectionProbe::TextOf(Outcome outcome, const QString& detail) {
    switch (outcome) {
    case Outcome::Connected:
        return QStringLiteral("Соединение установлено");
    case Outcome::Refused:
        return QStringLiteral("Соединение отклонено: на этом порту ЛИС не принимает");
    case Outcome::TimedOut:
        return QStringLiteral("Время ожидания истекло: ЛИС не ответила");
    case Outcome::Failed:
        break;
    }
    return QStringLiteral("Соединиться не удалось: ") + detail;
}

void ConnectionProbe::Finish(Outcome outcome, const QString& detail) {
    if (!running_) {
        return; // already told
    }
    running_ = false;
    timer_.stop();
    socket_.abort();
    const QString text =
        outcome == Outcome::TimedOut
            ? TextOf(outcome, detail) + QStringLiteral(" за %1 с").arg(SecondsText(bound_))
            : TextOf(outcome, detail);
    emit Finished(outcome, text);
}

} // namespace vorsilan::lis
