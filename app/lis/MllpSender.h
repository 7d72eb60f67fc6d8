#pragma once
// Sends the outbox to the LIS over MLLP/TCP, one message at a time and in order, on the
// event loop (the window never waits for the network). A message leaves the outbox on an
// AA acknowledgement with its control id; AE or AR marks it refused and the next one goes.
// A LIS that refuses the connection, drops it, or does not acknowledge within the bound is
// tried again after a pause that doubles from the first pause up to the longest.

#include "app/lis/MllpFraming.h"
#include "app/lis/Outbox.h"

#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <optional>

namespace vorsilan::lis {

struct SendTiming {
    std::chrono::milliseconds connectTimeout{5000};
    std::chrono::milliseconds ackTimeout{10000};
    std::chrono::milliseconds firstPause{1000};
    std::chrono::milliseconds longestPause{60000};
};

class MllpSender : public QObject {
    Q_OBJECT
public:
    MllpSender(Outbox& outbox, SendTiming timing, QObject* parent = nullptr);

    // Where to send; an empty host or port 0 stops sending. A message in flight is sent
    // again to the new place.
    void SetEndpoint(const QString& host, quint16 port);
    // A message was queued: sends it when nothing is in flight.
    void Kick();

signals:
    void Delivered(const QString& controlId);
    void Refused(const QString& analysisNumber, const QString& code, const QString& reason);
    // A try failed; the next comes after `pauseMs`.
    void AttemptFailed(const QString& reason, qint64 pauseMs);
    // The outbox could not record an answer: sending stops until the next Kick.
    void OutboxFailed(const QString& controlId);
    void WaitingChanged(int count);

private:
    enum class State { Idle, Connecting, AwaitingAck, Pausing };

    void SendNext();
    void Write();
    void Fail(const QString& reason);
    void Answered(const QString& code, const QString& reason);
    void OnReadyRead();
    void OnTimer();
    void OnError(QAbstractSocket::SocketError error);

    Outbox& outbox_;
    SendTiming timing_;
    QString host_;
    quint16 port_ = 0;
    State state_ = State::Idle;
    std::chrono::milliseconds pause_;
    std::optional<OutboxMessage> inFlight_;
    // The message in flight went on a connection kept from an earlier message; a LIS that
    // closed that connection meanwhile gets a new one at once, without a pause.
    bool reused_ = false;
    MllpDeframer deframer_;
    QTcpSocket socket_;
    QTimer timer_;
};

} // namespace vorsilan::lis
