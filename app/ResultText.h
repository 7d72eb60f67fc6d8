#pragma once
// The texts of a received result as the window shows them and the journal keeps them: the
// value with its sample kind, the value in its journal column, the date and the time of
// arrival in the user's regional formats.

#include "app/ReportFile.h"

#include <QDate>
#include <QString>
#include <QTime>

#include <cstdint>

namespace vorsilan::app {

// "Сыворотка 5,56" for kind 1 (serum), 2 (whole blood) or 3 (urine); empty for another kind.
QString ResultLabelText(std::uint16_t value, std::uint16_t kind);

// Writes the value into the row's column of its kind (serum with 3 significant digits,
// blood and urine with 4); another kind leaves the three columns empty.
void SetValueColumn(JournalRow& row, std::uint16_t value, std::uint16_t kind);

// The user's short date format.
QString ResultDateText(const QDate& date);
// The user's long time format with seconds, without the time zone that Qt's long format
// adds.
QString ResultTimeText(const QTime& time);

} // namespace vorsilan::app
