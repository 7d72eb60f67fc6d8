// The sender against a real HL7 peer (Debian's python3-hl7, tests/support/hl7peer): every
// field as hl7.parse reads it back, 100 results in order, a LIS down at first, refusals, a
// LIS that never answers, and a restart that resends what waits.

#include "app/lis/MllpSender.h"
#include "app/lis/DatabaseConnection.h"
#include "app/lis/OruMessage.h"
#include "app/lis/Outbox.h"
#include "tests/support/hl7peer/Hl7Peer.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <memory>

using namespace vorsilan::lis;
using namespace std::chrono_literals;
using test::Hl7Peer;

namespace {

constexpr int Within = 20000;
const MessageParties Parties{QStringLiteral("VORSILAN"), QStringLiteral("Лаборатория №1"),
                             QStringLiteral("LIS"), QStringLiteral("ГКБ")};

} // namespace

class MllpSenderTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    std::unique_ptr<DatabaseConnection> db;
    std::optional<Outbox> outbox;
    std::unique_ptr<MllpSender> sender;
    SendTiming timing{2000ms, 5000ms, 20ms, 200ms};
    const QDateTime arrival{QDate(2026, 12, 9), QTime(10, 15, 30), QTimeZone(3 * 3600)};

    // Opens the outbox as a run of the program does, and a sender for it.
    void Start() {
        sender.reset();
        outbox.reset();
        db.reset();
        db = std::make_unique<DatabaseConnection>(QStringLiteral("sender-test"),
                                                  dir.filePath(QStringLiteral("lis.sqlite")));
        QString error;
        outbox = Outbox::Open(db->Name(), error);
        QVERIFY2(outbox, qPrintable(error));
        sender = std::make_unique<MllpSender>(*outbox, timing);
    }
    QString Queue(const StoredResult& result) {
        QString id;
        QString error;
        const QDateTime now = QDateTime::currentDateTime();
        const bool ok = outbox->Enqueue(
            result.analysisNumber, now,
            [&](const QString& controlId) {
                return BuildOruR01(result, Parties, (id = controlId), now);
            },
            error);
        if (!ok) {
            qWarning() << error;
        }
        sender->Kick();
        return id;
    }
    QString Queue(int number) {
        return Queue({QStringLiteral("Пациент %1").arg(number), QString::number(number), arrival,
                      static_cast<std::uint32_t>(number), 100, SampleKind::Serum,
                      QStringLiteral("Лаборант")});
    }
    QStringList QueueRange(int first, int last) {
        QStringList ids;
        for (int n = first; n <= last; ++n) {
            ids << Queue(n);
        }
        return ids;
    }

private slots:
    void init() { QVERIFY(dir.isValid()); }
    void cleanup() {
        sender.reset();
        outbox.reset();
        db.reset();
        QFile::remove(dir.filePath(QStringLiteral("lis.sqlite")));
    }

    void fieldsReadBackByHl7Parse_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("patient");
        QTest::addColumn<QString>("loinc");
        QTest::addColumn<QString>("specimen");
        QTest::addColumn<uint>("count");
        QTest::addColumn<uint>("divisor");
        QTest::addColumn<QString>("value");
        QTest::newRow("serum") << 1 << "Иванов Иван Иванович"
                               << "14749-6"
                               << "SER" << 556u << 100u << "5.56";
        QTest::newRow("blood, every delimiter in the name") << 2 << "Смит|Джон^Мл.~2 & сын\\"
                                                            << "15074-8"
                                                            << "BLD" << 1205u << 100u << "12.05";
        QTest::newRow("urine") << 3 << "Ёлкина-Щукина Ю."
                               << "15076-3"
                               << "UR" << 123u << 10u << "12.3";
    }
    void fieldsReadBackByHl7Parse() {
        QFETCH(int, kind);
        QFETCH(QString, patient);
        QFETCH(uint, count);
        QFETCH(uint, divisor);
        Hl7Peer peer;
        QVERIFY(peer.Listening());
        Start();
        sender->SetEndpoint(QStringLiteral("127.0.0.1"), peer.Port());
        const QString id = Queue({patient, QStringLiteral("12|3"), arrival, count, divisor,
                                  static_cast<SampleKind>(kind), QStringLiteral("Петрова^А.")});
        QTRY_COMPARE_WITH_TIMEOUT(peer.Received().size(), 1, Within);
        const QJsonObject m = peer.Received().front();
        const auto field = [&](const char* segment, int f, int c = 1) {
            return Hl7Peer::Field(m, segment, f, c);
        };
        const QStringList msh = {field("MSH", 3),  field("MSH", 4),    field("MSH", 5),
                                 field("MSH", 6),  field("MSH", 9, 1), field("MSH", 9, 2),
                                 field("MSH", 10), field("MSH", 11),   field("MSH", 12),
                                 field("MSH", 18)};
        QCOMPARE(msh, (QStringList{"VORSILAN", "Лаборатория №1", "LIS", "ГКБ", "ORU", "R01", id,
                                   "P", "2.5.1", "UNICODE UTF-8"}));
        QCOMPARE(field("PID", 5), patient);
        QCOMPARE(field("OBR", 3), QStringLiteral("12|3"));
        QCOMPARE(field("OBR", 7), QStringLiteral("20261209101530+0300"));
        QCOMPARE(field("OBX", 2), QStringLiteral("NM"));
        QTEST(field("OBX", 3), "loinc");
        QCOMPARE(field("OBX", 3, 3), QStringLiteral("LN"));
        QTEST(field("OBX", 5), "value");
        QCOMPARE(field("OBX", 6), QStringLiteral("mmol/L"));
        QCOMPARE(field("OBX", 11), QStringLiteral("F"));
        QCOMPARE(field("OBX", 14), QStringLiteral("20261209101530+0300"));
        QCOMPARE(field("OBX", 16, 2), QStringLiteral("Петрова^А."));
        QTEST(field("SPM", 4), "specimen");
        QTRY_COMPARE_WITH_TIMEOUT(outbox->WaitingCount(), 0, Within);
    }

    // On one kept connection, and from a LIS that closes the connection after each answer:
    // the closed connection is replaced at once, not counted as a failed try.
    void hundredResultsArriveInOrder_data() {
        QTest::addColumn<QStringList>("peerOptions");
        QTest::newRow("kept connection") << QStringList();
        QTest::newRow("connection per message") << QStringList{"--close-after-answer"};
    }
    void hundredResultsArriveInOrder() {
        QFETCH(QStringList, peerOptions);
        Hl7Peer peer(peerOptions);
        Start();
        QSignalSpy delivered(sender.get(), &MllpSender::Delivered);
        QSignalSpy failed(sender.get(), &MllpSender::AttemptFailed);
        sender->SetEndpoint(QStringLiteral("127.0.0.1"), peer.Port());
        const QStringList ids = QueueRange(1, 100);
        QTRY_COMPARE_WITH_TIMEOUT(delivered.size(), 100, 60000);
        QCOMPARE(peer.ControlIds(), ids);
        QCOMPARE(outbox->WaitingCount(), 0);
        QCOMPARE(failed.size(), 0);
    }

    // The LIS does not listen while the first 20 wait; once it is up, each of the 100 arrives
    // exactly once and in order. The pauses between the tries double up to the longest.
    void lisDownForTheFirstTwenty() {
        Hl7Peer peer({QStringLiteral("--down-until-told")});
        QVERIFY(peer.Port() != 0 && !peer.Listening());
        Start();
        QSignalSpy failed(sender.get(), &MllpSender::AttemptFailed);
        QSignalSpy delivered(sender.get(), &MllpSender::Delivered);
        sender->SetEndpoint(QStringLiteral("127.0.0.1"), peer.Port());
        QStringList ids = QueueRange(1, 20);
        QTRY_VERIFY_WITH_TIMEOUT(failed.size() >= 6, Within);
        QList<qint64> pauses;
        for (int i = 0; i < 6; ++i) {
            pauses << failed.at(i).at(1).toLongLong();
        }
        QCOMPARE(pauses, (QList<qint64>{20, 40, 80, 160, 200, 200}));
        QVERIFY(failed.front().front().toString().contains(QStringLiteral("отклонено")));
        QCOMPARE(delivered.size(), 0);
        peer.BringUp();
        QTRY_VERIFY_WITH_TIMEOUT(peer.Listening(), Within);
        ids += QueueRange(21, 100);
        QTRY_COMPARE_WITH_TIMEOUT(delivered.size(), 100, 60000);
        QCOMPARE(peer.ControlIds(), ids);
    }

    void refusalIsShownAndTheNextGoes() {
        Hl7Peer peer({QStringLiteral("--mode"), QStringLiteral("AE"),
                      QStringLiteral("--error-text"), QStringLiteral("Пациент | не найден")});
        Start();
        QSignalSpy refused(sender.get(), &MllpSender::Refused);
        sender->SetEndpoint(QStringLiteral("127.0.0.1"), peer.Port());
        const QStringList ids = QueueRange(1, 2);
        QTRY_COMPARE_WITH_TIMEOUT(refused.size(), 2, Within);
        QCOMPARE(refused.front(), (QVariantList{"1", "AE", QStringLiteral("Пациент | не найден")}));
        QCOMPARE(peer.ControlIds(), ids);
        QCOMPARE(outbox->WaitingCount(), 0);
        QCOMPARE(outbox->RefusedCount(), 2);
    }

    // A LIS that takes the message and never answers: each wait is bounded, the message is
    // sent again, and leaves only once acknowledged.
    void silentLisIsTriedAgain() {
        timing.ackTimeout = 300ms;
        Hl7Peer peer({QStringLiteral("--ignore-first"), QStringLiteral("2")});
        Start();
        QSignalSpy failed(sender.get(), &MllpSender::AttemptFailed);
        QSignalSpy delivered(sender.get(), &MllpSender::Delivered);
        sender->SetEndpoint(QStringLiteral("127.0.0.1"), peer.Port());
        const QString id = Queue(1);
        QTRY_COMPARE_WITH_TIMEOUT(delivered.size(), 1, Within);
        QCOMPARE(peer.ControlIds(), (QStringList{id, id, id}));
        QCOMPARE(failed.size(), 2);
        QVERIFY(failed.front().front().toString().contains(QStringLiteral("не подтвердила")));
        QCOMPARE(outbox->WaitingCount(), 0);
    }

    void restartResendsWhatWaits() {
        Start();
        const QStringList ids = QueueRange(1, 3); // no LIS configured in this run
        Hl7Peer peer;
        Start();
        QCOMPARE(outbox->WaitingCount(), 3);
        sender->SetEndpoint(QStringLiteral("127.0.0.1"), peer.Port());
        QTRY_COMPARE_WITH_TIMEOUT(peer.Received().size(), 3, Within);
        QCOMPARE(peer.ControlIds(), ids);
        QTRY_COMPARE_WITH_TIMEOUT(outbox->WaitingCount(), 0, Within);
    }
};

QTEST_GUILESS_MAIN(MllpSenderTest)
#include "MllpSenderTest.moc"
