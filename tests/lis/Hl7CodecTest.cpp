// The pieces of the LIS export that need no peer: field escaping, HL7 times and numbers, the
// acknowledgement's fields and MLLP framing taken from a stream in pieces.

#include "app/lis/Acknowledgement.h"
#include "app/lis/Hl7Text.h"
#include "app/lis/MllpFraming.h"
#include "app/lis/OruMessage.h"

#include <QTest>
#include <QTimeZone>

using namespace vorsilan::lis;

class Hl7CodecTest : public QObject {
    Q_OBJECT
private slots:
    void escapesDelimitersAndControlCharacters_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("escaped");
        QTest::newRow("plain Cyrillic") << "Иванов Иван"
                                        << "Иванов Иван";
        QTest::newRow("every delimiter") << "a|b^c~d&e\\f"
                                         << "a\\F\\b\\S\\c\\R\\d\\T\\e\\E\\f";
        QTest::newRow("escape char before a code letter") << "\\F\\"
                                                          << "\\E\\F\\E\\";
        // A CR would end the segment, 0x0B and 0x1C the MLLP frame.
        QTest::newRow("segment and frame bytes")
            << QString::fromLatin1("x\ry\x0bz\x1c") << "x\\X0D\\y\\X0B\\z\\X1C\\";
    }
    void escapesDelimitersAndControlCharacters() {
        QFETCH(QString, text);
        QFETCH(QString, escaped);
        QCOMPARE(EscapeHl7(text), escaped);
        QCOMPARE(UnescapeHl7(escaped), text);
    }

    void unescapesWhatOtherSystemsWrite_data() {
        QTest::addColumn<QString>("escaped");
        QTest::addColumn<QString>("text");
        QTest::newRow("hex bytes are UTF-8") << "\\XD09FD180\\ивет"
                                             << "Привет";
        QTest::newRow("unknown escape kept") << "a\\Q\\b"
                                             << "a\\Q\\b";
        QTest::newRow("unfinished escape kept") << "50\\F"
                                                << "50\\F";
    }
    void unescapesWhatOtherSystemsWrite() {
        QFETCH(QString, escaped);
        QFETCH(QString, text);
        QCOMPARE(UnescapeHl7(escaped), text);
    }

    void writesTimesWithTheirOffset_data() {
        QTest::addColumn<int>("offsetSeconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("Moscow") << 3 * 3600 << "20261209101530+0300";
        QTest::newRow("UTC") << 0 << "20261209101530+0000";
        QTest::newRow("west, half hour") << -(3 * 3600 + 1800) << "20261209101530-0330";
    }
    void writesTimesWithTheirOffset() {
        QFETCH(int, offsetSeconds);
        QFETCH(QString, text);
        const QDateTime time(QDate(2026, 12, 9), QTime(10, 15, 30), QTimeZone(offsetSeconds));
        QCOMPARE(Hl7DateTime(time), text);
    }

    void writesValuesExactly_data() {
        QTest::addColumn<uint>("count");
        QTest::addColumn<uint>("divisor");
        QTest::addColumn<QString>("text");
        QTest::newRow("serum") << 556u << 100u << "5.56";
        QTest::newRow("leading zero of the fraction") << 1205u << 100u << "12.05";
        QTest::newRow("below one") << 7u << 100u << "0.07";
        QTest::newRow("urine tenths") << 123u << 10u << "12.3";
        QTest::newRow("largest record value") << 16665u << 100u << "166.65";
    }
    void writesValuesExactly() {
        QFETCH(uint, count);
        QFETCH(uint, divisor);
        QFETCH(QString, text);
        QCOMPARE(DecimalText(count, divisor), text);
    }

    void readsAcknowledgements_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("controlId");
        QTest::addColumn<QString>("text");
        const QByteArray msh = "MSH|^~\\&|LIS||VORSILAN||20261209||ACK^R01^ACK|A1|P|2.5.1\r";
        QTest::newRow("accepted") << msh + "MSA|AA|C1\r" << true << "AA"
                                  << "C1"
                                  << "";
        QTest::newRow("MSA-3 text, escaped")
            << msh + "MSA|AE|C2|Нет \\F\\ пациента\r" << true << "AE"
            << "C2"
            << "Нет | пациента";
        QTest::newRow("ERR-8 when MSA-3 is empty")
            << msh + "MSA|AR|C3\rERR|||207^Internal^HL70357|E||||Дубликат\r" << true << "AR"
            << "C3"
            << "Дубликат";
        QTest::newRow("ERR-3 text")
            << msh + "MSA|AE|C4\rERR|||103^Table value not found\r" << true << "AE"
            << "C4"
            << "Table value not found";
        QTest::newRow("LF between segments") << QByteArray(msh).replace('\r', '\n') + "MSA|AA|C5\n"
                                             << true << "AA"
                                             << "C5"
                                             << "";
        QTest::newRow("no MSA") << msh << false << ""
                                << ""
                                << "";
        QTest::newRow("not HL7") << QByteArray("HTTP/1.1 400 Bad Request\r\n") << false << ""
                                 << ""
                                 << "";
    }
    void readsAcknowledgements() {
        QFETCH(QByteArray, message);
        QFETCH(bool, found);
        const std::optional<Acknowledgement> ack = ParseAcknowledgement(message);
        QCOMPARE(ack.has_value(), found);
        if (ack) {
            QTEST(ack->code, "code");
            QTEST(ack->controlId, "controlId");
            QTEST(ack->text, "text");
        }
    }

    // Frames in every split of the stream, with noise between them, come out whole.
    void takesFramesFromAStreamInPieces() {
        const QByteArray stream = "noise" + FrameMllp("MSH|first") + "\n" +
                                  FrameMllp("MSH|second\rMSA|AA|1") + FrameMllp("");
        for (qsizetype piece = 1; piece <= stream.size(); ++piece) {
            MllpDeframer deframer;
            QList<QByteArray> messages;
            for (qsizetype at = 0; at < stream.size(); at += piece) {
                QVERIFY(deframer.Append(stream.mid(at, piece)));
                messages += deframer.TakeMessages();
            }
            QCOMPARE(messages, (QList<QByteArray>{"MSH|first", "MSH|second\rMSA|AA|1", ""}));
        }
    }

    void boundsAFrameWithoutEnd() {
        MllpDeframer deframer(16);
        QVERIFY(deframer.Append(FrameMllp(QByteArray(16, 'x'))));
        QCOMPARE(deframer.TakeMessages().size(), 1);
        QVERIFY(!deframer.Append("\x0b" + QByteArray(17, 'y')));
        deframer.Reset();
        QVERIFY(deframer.Append(FrameMllp("ok")));
        QCOMPARE(deframer.TakeMessages(), QList<QByteArray>{"ok"});
    }
};

QTEST_GUILESS_MAIN(Hl7CodecTest)
#include "Hl7CodecTest.moc"
