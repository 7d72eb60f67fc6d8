#include "app/lis/MllpSender.h"

#include "app/lis/Acknowledgement.h"
#include "app/lis/SocketErrorText.h"

#include <algorithm>

namespace vorsilan::lis {

MllpSender::MllpSender(Outbox& outbox, SendTiming timing, QObject* parent)
    : QObject(parent), outbox_(outbox), timing_(timing), pause_(timing.firstPause) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &MllpSender::OnTimer);
    connect(&socket_, &QTcpSocket::connected, this, [this] {
        if (state_ == State::Connecting) {
            Write();
        }
    });
    connect(&socket_, &QTcpSocket::readyRead, this, &MllpSender::OnReadyRead);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &MllpSender::OnError);
}

void MllpSender::SetEndpoint(const QString& host, quint16 port) {
    timer_.stop();
    socket_.abort();
    deframer_.Reset();
    host_ = host;
    port_ = port;
    state_ = State::Idle;
    pause_ = timing_.firstPause;
    SendNext();
}

void MllpSender::Kick() {
    emit WaitingChanged(outbox_.WaitingCount());
    // The next from the event loop, outside the socket's signal: a socket that the LIS
    // closed with its answer finishes closing after readyRead returns.
    state_ = State::Pausing;
    timer_.start(0);
}

void MllpSender::SendNext() {
    if (state_ != State::Idle || host_.isEmpty() || port_ == 0) {
        return;
    }
    inFlight_ = outbox_.Front();
    if (!inFlight_) {
        return;
    }
    if (socket_.state() == QAbstractSocket::ConnectedState) {
        reused_ = true;
        Write();
        return;
    }
    reused_ = false;
    socket_.abort();
    deframer_.Reset();
    // The state and the bound first: a failure may be told from inside connectToHost.
    state_ = State::Connecting;
    timer_.start(timing_.connectTimeout);
    socket_.connectToHost(host_, port_);
}

void MllpSender::Write() {
    state_ = State::AwaitingAck;
    timer_.start(timing_.ackTimeout);
    socket_.write(FrameMllp(inFlight_->message));
}

void MllpSender::Fail(const QString& reason) {
    socket_.abort();
    deframer_.Reset();
    state_ = State::Pausing;
    const std::chrono::milliseconds pause = pause_;
    pause_ = std::min(pause_ * 2, timing_.longestPause);
    timer_.start(pause);
    emit AttemptFailed(reason, pause.count());
}

void MllpSender::OnTimer() {
    switch (state_) {
    case State::Connecting:
        Fail(QStringLiteral("ЛИС не ответила на соединение за %1 с")
                 .arg(SecondsText(timing_.connectTimeout)));
        break;
    case State::AwaitingAck:
        Fail(QStringLiteral("ЛИС не подтвердила приём за %1 с")
                 .arg(SecondsText(timing_.ackTimeout)));
        break;
    case State::Pausing:
        state_ = State::Idle;
        SendNext();
        break;
    case State::Idle:
        break;
    }
}

void MllpSender::OnError(QAbstractSocket::SocketError error) {
    if (state_ == State::AwaitingAck && reused_ &&
        error == QAbstractSocket::RemoteHostClosedError) {
        // Again from the event loop: the socket finishes its own closing after this signal.
        socket_.abort();
        state_ = State::Pausing;
        timer_.start(0);
    } else if (state_ == State::Connecting || state_ == State::AwaitingAck) {
        Fail(SocketErrorText(error, socket_.errorString()));
    } else if (state_ == State::Idle) {
        // The LIS closed an idle connection: the next message opens a new one.
        socket_.abort();
    }
}

void MllpSender::OnReadyRead() {
    if (!deframer_.Append(socket_.readAll())) {
        Fail(QStringLiteral("ответ ЛИС без конца кадра MLLP"));
        return;
    }
    for (const QByteArray& message : deframer_.TakeMessages()) {
        const std::optional<Acknowledgement> ack = ParseAcknowledgement(message);
        // An answer to an earlier try of a message, or one that is not an acknowledgement,
        // is not the answer awaited.
        if (state_ != State::AwaitingAck || !ack || ack->controlId != inFlight_->controlId) {
            continue;
        }
        if (ack->code == QStringLiteral("AA") || ack->code == QStringLiteral("AE") ||
            ack->code == QStringLiteral("AR")) {
            Answered(ack->code, ack->text);
        }
    }
}

void MllpSender::Answered(const QString& code, const QString& reason) {
    timer_.stop();
    state_ = State::Idle;
    pause_ = timing_.firstPause;
    const OutboxMessage message = *inFlight_;
    inFlight_.reset();
    const bool accepted = code == QStringLiteral("AA");
    if (!(accepted ? outbox_.Remove(message.controlId)
                   : outbox_.MarkRefused(message.controlId, code + u' ' + reason))) {
        // Sending on would send this message again.
        emit OutboxFailed(message.controlId);
        return;
    }
    if (accepted) {
        emit Delivered(message.controlId);
    } else {
        emit Refused(message.analysisNumber, code, reason);
    }
    emit WaitingChanged(outbox_.WaitingCount());
    // The next from the event loop, outside the socket's signal: a socket that the LIS
    // closed with its answer finishes closing after readyRead returns.
    state_ = State::Pausing;
    timer_.start(0);
}

} // namespace vorsilan::lis
