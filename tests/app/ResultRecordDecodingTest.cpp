// The reception's decisions on the bytes it has taken, without a port: where a record
// starts, when a false header gives way to the record behind it, and what a broken record
// takes with it. Records come from the simulator's own encoder.

#include "app/ResultRecordDecoding.h"
#include "tests/app/AppTestSupport.h"
#include "tools/simulator/ResultRecord.h"

#include <vector>

using namespace vorsilan::app;
using vorsilan::sim::EncodeRawResultRecord;
using Bytes = std::vector<std::uint8_t>;
using Action = ReceptionStep::Action;
using Otherwise = ReceptionStep::Otherwise;

Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(Action)
Q_DECLARE_METATYPE(Otherwise)

namespace {

Bytes Record(std::uint8_t kind = 1, std::uint8_t valueLow = 0x56) {
    const auto record = EncodeRawResultRecord(
        {.number = 300, .valueLow = valueLow, .valueHigh = 0x05, .kind = kind, .filler = 0x11});
    return {record.begin(), record.end()};
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// A false header with `length` bytes up to the next one; its record is impossible (kind 0).
Bytes FalseHeader(std::size_t length) {
    Bytes bytes(length, 0x00);
    bytes[0] = 0xAA;
    bytes[1] = 0x55;
    return bytes;
}

} // namespace

class ResultRecordDecodingTest : public QObject {
    Q_OBJECT
private slots:
    void decodesTheFields() {
        const Bytes bytes = Record(3, 0x9F);
        const DecodedRecord record = DecodeRecord(std::span(bytes).first<RecordSize>());
        QCOMPARE(int(record.number), 300);
        QCOMPARE(int(record.value), 9 * 10 + 15 + 500); // a nibble above 9 counts as it is
        QCOMPARE(int(record.kind), 3);
        QVERIFY(std::equal(bytes.begin(), bytes.end(), record.bytes.begin()));
        QVERIFY(!IsPossibleRecord(std::span(bytes).first<RecordSize>()));
    }

    void nextStep_data() {
        QTest::addColumn<Bytes>("pending");
        QTest::addColumn<Action>("action");
        QTest::addColumn<int>("count");
        QTest::addColumn<Otherwise>("otherwise");
        const Bytes record = Record();
        const Bytes impossible = Join({FalseHeader(22), Record()});
        QTest::newRow("nothing yet") << Bytes{} << Action::Need << 1 << Otherwise::DropQuietly;
        QTest::newRow("noise ahead of a header")
            << Join({{1, 2}, record}) << Action::Skip << 2 << Otherwise::DropQuietly;
        QTest::newRow("noise alone")
            << Bytes{1, 0xAA, 3} << Action::Skip << 3 << Otherwise::DropQuietly;
        QTest::newRow("a lone header byte")
            << Bytes{0xAA} << Action::Need << 2 << Otherwise::DropQuietly;
        QTest::newRow("a record begun") << Bytes(record.begin(), record.begin() + 10)
                                        << Action::Need << 26 << Otherwise::GiveUp;
        QTest::newRow("a record") << record << Action::Decode << 26 << Otherwise::Decode;
        // A real record may carry the header bytes in its filler: it is still the record.
        Bytes inside = Record();
        inside[10] = 0xAA;
        inside[11] = 0x55;
        QTest::newRow("a possible record with a header inside")
            << Join({inside, Bytes(30, 0x11)}) << Action::Decode << 26 << Otherwise::Decode;
        QTest::newRow("a false header, the record behind it complete")
            << impossible << Action::Skip << 22 << Otherwise::Decode;
        QTest::newRow("a false header, the record behind it begun")
            << Bytes(impossible.begin(), impossible.end() - 1) << Action::Need << 48
            << Otherwise::Decode;
        QTest::newRow("an impossible record alone")
            << Record(4) << Action::Decode << 26 << Otherwise::Decode;
        Bytes lastByte = Record(0);
        lastByte[25] = 0xAA;
        QTest::newRow("a header byte last in an impossible record")
            << lastByte << Action::Need << 51 << Otherwise::Decode;
        QTest::newRow("that byte followed by no header")
            << Join({lastByte, {0x01}}) << Action::Decode << 26 << Otherwise::Decode;
    }
    void nextStep() {
        QFETCH(Bytes, pending);
        QFETCH(Action, action);
        QFETCH(int, count);
        QFETCH(Otherwise, otherwise);
        const ReceptionStep step = NextReceptionStep(pending);
        QCOMPARE(step.action, action);
        QCOMPARE(int(step.count), count);
        if (action == Action::Need) {
            QCOMPARE(step.otherwise, otherwise);
        }
    }

    void aBrokenRecordKeepsTheHeaderBehindIt() {
        const Bytes record = Record();
        const Bytes cut = Join({Bytes(record.begin(), record.begin() + 9), record});
        QCOMPARE(int(BrokenRecordLength(cut)), 9);
        QCOMPARE(int(BrokenRecordLength(Bytes{0xAA, 0x55, 7})), 3);
    }
};

APP_TEST_MAIN(ResultRecordDecodingTest)
#include "ResultRecordDecodingTest.moc"
