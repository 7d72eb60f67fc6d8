#pragma once
// MLLP, the framing of HL7 messages on a TCP stream: 0x0B, the message, 0x1C 0x0D.

#include <QByteArray>
#include <QList>

namespace vorsilan::lis {

inline constexpr char MllpStart = 0x0B;
inline constexpr char MllpEnd = 0x1C;
inline constexpr char MllpTrailer = 0x0D;

QByteArray FrameMllp(const QByteArray& message);

// Takes a stream in pieces as they arrive and hands back each whole message. Bytes outside
// a frame are dropped; a frame that grows past the bound without its end is an error.
class MllpDeframer {
public:
    explicit MllpDeframer(qsizetype largestMessage = 1 << 20) : largest_(largestMessage) {}

    // Appends the bytes; false once a frame has outgrown the bound (then Reset()).
    bool Append(const QByteArray& bytes);
    // The messages completed so far, oldest first; they are handed back once.
    QList<QByteArray> TakeMessages();
    void Reset();

private:
    qsizetype largest_;
    bool inFrame_ = false;
    bool overflow_ = false;
    QByteArray frame_;
    QList<QByteArray> done_;
};

} // namespace vorsilan::lis
