#include "app/ValueText.h"

#include <QLocale>

namespace vorsilan::app {

namespace {

int DigitCount(std::uint64_t v) {
    int digits = 1;
    while (v >= 10) {
        v /= 10;
        ++digits;
    }
    return digits;
}

std::uint64_t PowerOfTen(int exponent) {
    std::uint64_t p = 1;
    for (int i = 0; i < exponent; ++i) {
        p *= 10;
    }
    return p;
}

// The digits of value with `decimals` of them behind the separator, trailing zeros of the
// fraction and a bare separator dropped.
QString FixedText(std::uint64_t value, int decimals, QChar separator) {
    QString digits = QString::number(value);
    if (decimals <= 0) {
        return digits + QString(-decimals, QLatin1Char('0'));
    }
    while (digits.size() <= decimals) {
        digits.prepend(QLatin1Char('0'));
    }
    QString integerPart = digits.left(digits.size() - decimals);
    QString fraction = digits.right(decimals);
    while (!fraction.isEmpty() && fraction.back() == QLatin1Char('0')) {
        fraction.chop(1);
    }
    return fraction.isEmpty() ? integerPart : integerPart + separator + fraction;
}

} // namespace

QString GeneralValueText(std::uint32_t value, std::uint32_t divisor, int precision,
                         QChar decimalSeparator) {
    if (value == 0) {
        return QStringLiteral("0");
    }
    const int decimals = DigitCount(divisor) - 1; // divisor is a power of ten
    std::uint64_t v = value;
    // Round on the exact decimal digits, half away from zero.
    const int digits = DigitCount(v);
    int dropped = 0;
    if (digits > precision) {
        dropped = digits - precision;
        const std::uint64_t unit = PowerOfTen(dropped);
        v = (v + unit / 2) / unit;
    }
    // v now holds at most precision + 1 digits (a carry) scaled by 10^dropped.
    const int scaledDecimals = decimals - dropped;
    const int significant = DigitCount(v);
    const int integerDigits = significant - scaledDecimals;
    if (integerDigits > precision) {
        // d,ddd…E+n: one digit before the separator.
        const int exponent = integerDigits - 1;
        QString mantissa = FixedText(v, significant - 1, decimalSeparator);
        return mantissa + QStringLiteral("E+") + QString::number(exponent);
    }
    return FixedText(v, scaledDecimals, decimalSeparator);
}

QChar UserDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QLatin1Char('.') : point.front();
}

} // namespace vorsilan::app
