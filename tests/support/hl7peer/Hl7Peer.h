#pragma once
// The stand-in LIS (hl7_peer.py, Debian's python3-hl7) as a child process of a Qt test: its
// port, the messages it received as it read them, and the line that brings a LIS that
// started down up. Everything is taken from its output on the event loop, so a test waits
// for it with QTRY_* or QTest::qWaitFor.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

namespace vorsilan::lis::test {

class Hl7Peer {
public:
    // `arguments` are the peer's options (--mode AE, --ignore-first 2, --down-until-told...).
    explicit Hl7Peer(const QStringList& arguments = {}) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, &process_,
                         [this] { Take(); });
        process_.start(QStringLiteral(HL7_PEER_PYTHON),
                       QStringList{QStringLiteral(HL7_PEER_SCRIPT)} + arguments);
        // A peer that starts down is waited for until it has its port, any other until it
        // listens. One that cannot start leaves the port 0, which the test's checks find.
        const bool startsDown = arguments.contains(QStringLiteral("--down-until-told")) ||
                                arguments.contains(QStringLiteral("--down-seconds"));
        static_cast<void>(QTest::qWaitFor(
            [this, startsDown] {
                return (startsDown ? port_ != 0 : listening_) ||
                       process_.state() == QProcess::NotRunning;
            },
            10000));
    }
    ~Hl7Peer() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    Hl7Peer(const Hl7Peer&) = delete;
    Hl7Peer& operator=(const Hl7Peer&) = delete;

    quint16 Port() const { return port_; }
    bool Listening() const { return listening_; }
    // A peer started with --down-until-told starts listening.
    void BringUp() { process_.write("up\n"); }

    // Each message received, oldest first: {"control_id", "answered", "segments"}.
    const QList<QJsonObject>& Received() const { return received_; }
    QStringList ControlIds() const {
        QStringList ids;
        for (const QJsonObject& m : received_) {
            ids << m.value(QStringLiteral("control_id")).toString();
        }
        return ids;
    }

    // Component `component` (from 1) of field `field` of the first segment `segment`, as
    // hl7.parse and its unescape read it.
    static QString Field(const QJsonObject& message, const char* segment, int field,
                         int component = 1) {
        const QJsonArray fields = message.value(QStringLiteral("segments"))
                                      .toObject()
                                      .value(QString::fromLatin1(segment))
                                      .toArray();
        return fields.at(field).toArray().at(component - 1).toString();
    }

private:
    void Take() {
        buffer_ += process_.readAllStandardOutput();
        for (qsizetype end = buffer_.indexOf('\n'); end >= 0; end = buffer_.indexOf('\n')) {
            const QByteArray line = buffer_.left(end);
            buffer_.remove(0, end + 1);
            if (line.startsWith("port ")) {
                port_ = static_cast<quint16>(line.mid(5).toUInt());
            } else if (line.startsWith("listening ")) {
                listening_ = true;
            } else {
                received_ << QJsonDocument::fromJson(line).object();
            }
        }
    }

    QProcess process_;
    QByteArray buffer_;
    quint16 port_ = 0;
    bool listening_ = false;
    QList<QJsonObject> received_;
};

} // namespace vorsilan::lis::test
