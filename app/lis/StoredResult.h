#pragma once
// A stored result as the laboratory information system gets it: the fields the window
// holds when "Запомнить" stores a journal row.

#include <QDateTime>
#include <QString>

#include <cstdint>

namespace vorsilan::lis {

// The analyser's sample kinds (the record's byte 21).
enum class SampleKind : std::uint16_t { Serum = 1, Blood = 2, Urine = 3 };

struct StoredResult {
    QString patient;        // the patient's name as typed
    QString analysisNumber; // the journal's analysis number, as typed or received
    QDateTime arrival;      // when the result arrived from the analyser, with its offset
    // The measured value in mmol/L is valueCount / divisor exactly (divisor 1, 10, 100...).
    std::uint32_t valueCount = 0;
    std::uint32_t divisor = 1;
    SampleKind kind = SampleKind::Serum;
    QString technician; // the technician's name as typed
};

} // namespace vorsilan::lis
