#include "comm/dispatch/ReceiveRing.h"

#include <algorithm>

namespace apd {

void ReceiveRing::Allocate() {
    Storage = std::make_unique<std::uint8_t[]>(Size);
    Reset();
}

void ReceiveRing::Free() {
    Storage.reset();
    Reset();
}

void ReceiveRing::Reset() {
    Head = 0;
    Tail = 0;
    IsFull = false;
    ScanAt = 0;
    UnscannedBytes = 0;
    AvailAt = 0;
    SinceAvail = 0;
}

bool ReceiveRing::Peek(std::uint32_t offset, std::uint8_t& c) const {
    if (!Storage || offset >= Count()) {
        return false;
    }
    c = Storage[AdvanceRingPos(Tail, offset)];
    return true;
}

bool ReceiveRing::Copy(std::uint8_t* block, std::uint32_t skip, std::uint32_t length) const {
    const std::uint32_t waiting = Count();
    if (!Storage || skip > waiting || length > waiting - skip) {
        return false;
    }
    const std::uint32_t from = AdvanceRingPos(Tail, skip);
    const std::uint32_t first = std::min(length, Size - from);
    std::copy_n(Storage.get() + from, first, block);
    std::copy_n(Storage.get(), length - first, block + first);
    return true;
}

std::uint32_t ReceiveRing::CountThrough(std::uint32_t pos, std::uint32_t back) const {
    const std::uint32_t through = pos >= back ? pos - back : pos + Size - back;
    return RingCountThrough(through, Tail);
}

ReceiveSpace ReceiveRing::Space() {
    if (!Storage || IsFull) {
        return {};
    }
    ReceiveSpace space;
    space.data = Storage.get() + Head;
    if (Tail == Head) {
        space.free = Size;
        space.contiguous = Size - Head;
    } else if (Tail < Head) {
        space.free = Tail + Size - Head;
        space.contiguous = Size - Head;
    } else {
        space.free = Tail - Head;
        space.contiguous = space.free;
    }
    return space;
}

void ReceiveRing::Commit(std::uint32_t count) {
    count = std::min(count, Space().contiguous);
    if (count == 0) {
        return;
    }
    Head = AdvanceRingPos(Head, count);
    IsFull = Head == Tail;
    UnscannedBytes += count;
    Stored += count;
}

void ReceiveRing::Consume(std::uint32_t count) {
    const std::uint32_t waiting = Count();
    count = std::min(count, waiting);
    Tail = (Tail + count) % Size;
    if (count != 0) {
        IsFull = false;
    }
    const std::uint32_t left = waiting - count;
    if (UnscannedBytes > left) {
        // The tail passed the scan position: the bytes in between are gone and must not be
        // matched any more.
        SinceAvail = std::min(Size, SinceAvail + (UnscannedBytes - left));
        UnscannedBytes = left;
        ScanAt = Tail;
    }
}

void ReceiveRing::PlaceEmpty(std::uint32_t pos) {
    pos %= Size;
    Head = pos;
    Tail = pos;
    IsFull = false;
    ScanAt = pos;
    UnscannedBytes = 0;
}

void ReceiveRing::AdvanceScan() {
    if (UnscannedBytes == 0) {
        return;
    }
    ScanAt = AdvanceRingPos(ScanAt, 1);
    --UnscannedBytes;
    if (SinceAvail < Size) {
        ++SinceAvail;
    }
}

void ReceiveRing::SkipUnscanned() {
    ScanAt = AdvanceRingPos(ScanAt, UnscannedBytes);
    SinceAvail = std::min(Size, SinceAvail + UnscannedBytes);
    UnscannedBytes = 0;
}

void ReceiveRing::MarkAvail(std::uint32_t pos) {
    AvailAt = pos;
    SinceAvail = 0;
}

} // namespace apd
