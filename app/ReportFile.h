#pragma once
// The text report of the journal: six lines per stored result, Windows-1251 with CR LF line
// ends, whatever the user's locale, because the readers of these reports expect exactly
// that.

#include "comm/errors/RuntimeErrors.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace vorsilan::app {

// One journal row as the grid shows it.
struct JournalRow {
    QString number;     // column 2
    QString patient;    // column 1
    QString serum;      // column 3
    QString blood;      // column 4
    QString urine;      // column 5
    QString date;       // column 6
    QString time;       // column 7
    QString technician; // column 8
};

// The six lines of a row, without line ends.
QStringList ReportLines(const JournalRow& row);

// The text in Windows-1251; a character the code page cannot hold becomes '?', and
// *replaced (when given) is set to true.
QByteArray EncodeWindows1251(const QString& text, bool* replaced);

// Creates or truncates the file and writes the rows. Every operation is checked; the first
// failure raises apd::EInOutError and leaves the lines written before it in the file. Returns
// true when some character had to be written as '?'.
bool WriteReportFile(const QString& path, const std::vector<JournalRow>& rows);

} // namespace vorsilan::app
