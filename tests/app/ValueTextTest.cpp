// The value text: exact decimal rounding half away from zero, the precision's significant
// digits, the separator, and the trimming of the fraction.

#include "app/ValueText.h"
#include "tests/app/AppTestSupport.h"

using vorsilan::app::GeneralValueText;

class ValueTextTest : public QObject {
    Q_OBJECT
private slots:
    void formats_data() {
        QTest::addColumn<uint>("value");
        QTest::addColumn<uint>("divisor");
        QTest::addColumn<int>("precision");
        QTest::addColumn<QString>("expected");
        QTest::newRow("hundredths") << 556u << 100u << 4 << "5,56";
        QTest::newRow("whole number has no separator") << 500u << 100u << 4 << "5";
        QTest::newRow("four digits kept") << 1234u << 100u << 4 << "12,34";
        QTest::newRow("tenths") << 556u << 10u << 4 << "55,6";
        QTest::newRow("zero") << 0u << 100u << 4 << "0";
        QTest::newRow("precision 3 rounds down") << 1234u << 100u << 3 << "12,3";
        QTest::newRow("exact half rounds away from zero") << 1235u << 100u << 3 << "12,4";
        QTest::newRow("carry into a new digit") << 9995u << 100u << 3 << "100";
        QTest::newRow("trailing zero after rounding dropped") << 1201u << 100u << 3 << "12";
        QTest::newRow("leading zero of the fraction") << 5u << 100u << 4 << "0,05";
        QTest::newRow("largest urine value") << 16665u << 10u << 4 << "1667";
        QTest::newRow("largest serum value in the journal") << 16665u << 100u << 3 << "167";
        QTest::newRow("more integer digits than the precision") << 16665u << 1u << 3 << "1,67E+4";
    }
    void formats() {
        QFETCH(uint, value);
        QFETCH(uint, divisor);
        QFETCH(int, precision);
        QFETCH(QString, expected);
        QCOMPARE(GeneralValueText(value, divisor, precision, QLatin1Char(',')), expected);
    }
    void separatorIsTheCallers() {
        QCOMPARE(GeneralValueText(556, 100, 4, QLatin1Char('.')), QStringLiteral("5.56"));
    }
};

APP_TEST_MAIN(ValueTextTest)
#include "ValueTextTest.moc"
