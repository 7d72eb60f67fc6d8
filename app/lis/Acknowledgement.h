#pragma once
// The LIS's answer to a message: an HL7 ACK whose MSA segment carries the acknowledgement
// code (MSA-1) and the control id of the message it answers (MSA-2).

#include <QByteArray>
#include <QString>

#include <optional>

namespace vorsilan::lis {

struct Acknowledgement {
    QString code;      // AA accepted, AE error, AR rejected (others are not acted on)
    QString controlId; // the answered message's MSH-10
    // Why the LIS refused: MSA-3, else the ERR segment's user message (ERR-8), its error
    // code's text (ERR-3.2) or, in the older layout, ERR-1; unescaped.
    QString text;
};

// The acknowledgement an answer holds; nothing when it has no MSH or no MSA segment.
std::optional<Acknowledgement> ParseAcknowledgement(const QByteArray& message);

} // namespace vorsilan::lis
