#pragma once
// The text of a measured value: the exact decimal quotient of an integer count of
// hundredths or tenths, rounded half away from zero to a number of significant digits and
// written in the general number format (fixed point, no trailing zeros, no thousands
// separators, exponent notation only when the integer part has more digits than the
// precision allows).

#include <QString>

#include <cstdint>

namespace vorsilan::app {

// value / divisor (divisor 1, 10, 100, ...) with `precision` significant digits.
QString GeneralValueText(std::uint32_t value, std::uint32_t divisor, int precision,
                         QChar decimalSeparator);

// The decimal separator of the user's regional settings.
QChar UserDecimalSeparator();

} // namespace vorsilan::app
