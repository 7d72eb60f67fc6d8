#include "app/lis/MllpFraming.h"

namespace vorsilan::lis {

QByteArray FrameMllp(const QByteArray& message) {
    QByteArray framed;
    framed.reserve(message.size() + 3);
    framed += MllpStart;
    framed += message;
    framed += MllpEnd;
    framed += MllpTrailer;
    return framed;
}

bool MllpDeframer::Append(const QByteArray& bytes) {
    for (const char b : bytes) {
        if (overflow_) {
            break;
        }
        if (b == MllpStart) {
            // A new start inside a frame abandons the broken one.
            inFrame_ = true;
            frame_.clear();
        } else if (!inFrame_) {
            continue; // the trailer CR, or noise between frames
        } else if (b == MllpEnd) {
            done_.push_back(frame_);
            frame_.clear();
            inFrame_ = false;
        } else if (frame_.size() >= largest_) {
            overflow_ = true;
        } else {
            frame_ += b;
        }
    }
    return !overflow_;
}

QList<QByteArray> MllpDeframer::TakeMessages() {
    QList<QByteArray> messages;
    messages.swap(done_);
    return messages;
}

void MllpDeframer::Reset() {
    inFrame_ = false;
    overflow_ = false;
    frame_.clear();
    done_.clear();
}

} // namespace vorsilan::lis
