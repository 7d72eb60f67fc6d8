#pragma once
// The receive ring: DispatchBufferSize bytes that the dispatch thread stores at the head
// and the application takes from the tail, with the data trigger scan position between
// them. The dispatcher guards it with InputLock; the ring itself takes no lock and
// allocates only in Allocate.
//
// Invariants, kept by every operation: head, tail and scan position lie inside the ring;
// the bytes waiting (Count) never exceed the ring's size; the unscanned bytes are the
// newest ones waiting, so that the scan position never falls behind the tail; bytes leave
// in the order they were stored. Without storage the ring is empty and stays so.

#include <cstdint>
#include <memory>

#include "comm/dispatch/RingIndex.h"

namespace apd {

// The room at the head: `contiguous` bytes from `data` up to the end of the ring or the
// tail, `free` bytes in all (the rest from the start of the ring).
struct ReceiveSpace {
    std::uint8_t* data = nullptr;
    std::uint32_t contiguous = 0;
    std::uint32_t free = 0;
};

class ReceiveRing {
public:
    static constexpr std::uint32_t Size = DispatchBufferSize;

    // New zeroed storage and an empty ring with every position at 0.
    void Allocate();
    // Releases the storage; head, tail and scan position go to 0.
    void Free();
    bool Exists() const { return Storage != nullptr; }

    // ---- Contents -------------------------------------------------------------------
    std::uint32_t Count() const { return RingCount(Head, Tail, IsFull); }
    bool Full() const { return IsFull; }
    std::uint32_t HeadPos() const { return Head; }
    std::uint32_t TailPos() const { return Tail; }

    // The byte `offset` places after the tail (0 is the oldest); false when fewer bytes
    // wait.
    bool Peek(std::uint32_t offset, std::uint8_t& c) const;
    // Copies length bytes starting `skip` bytes after the tail, across the end of the ring
    // where they wrap; false (nothing copied) when fewer than skip + length bytes wait.
    bool Copy(std::uint8_t* block, std::uint32_t skip, std::uint32_t length) const;
    // Bytes from the tail through the byte `back` places before pos, both included, for a
    // pos - back that holds a waiting byte.
    std::uint32_t CountThrough(std::uint32_t pos, std::uint32_t back) const;

    // ---- Storing at the head --------------------------------------------------------
    // Nothing without storage, and nothing free when the ring is full.
    ReceiveSpace Space();
    // Takes in count bytes just written at Space().data (at most Space().contiguous) as
    // waiting and not yet scanned.
    void Commit(std::uint32_t count);
    // Bytes committed so far, over the ring's whole life.
    std::uint64_t BytesStored() const { return Stored; }

    // ---- Taking from the tail -------------------------------------------------------
    // Drops the count oldest bytes (at most Count()); unscanned bytes among them are
    // passed over by the scan.
    void Consume(std::uint32_t count);
    // Drops every waiting byte.
    void Discard() { Consume(Count()); }
    // Empties the ring with head, tail and scan position at pos (below Size).
    void PlaceEmpty(std::uint32_t pos);

    // ---- The data trigger scan ------------------------------------------------------
    std::uint32_t ScanPos() const { return ScanAt; }
    // Waiting bytes from the scan position to the head.
    std::uint32_t Unscanned() const { return UnscannedBytes; }
    // The byte at the scan position; Unscanned() is not 0.
    std::uint8_t ScanByte() const { return Storage[ScanAt]; }
    // Moves the scan position over one byte, or over every unscanned byte.
    void AdvanceScan();
    void SkipUnscanned();
    // How far the scan position moved since the last avail notification, saturating at
    // Size so that a full lap still counts as a new position; and where that notification
    // was sent.
    std::uint32_t ScannedSinceAvail() const { return SinceAvail; }
    std::uint32_t AvailPos() const { return AvailAt; }
    void MarkAvail(std::uint32_t pos);

private:
    void Reset();

    std::unique_ptr<std::uint8_t[]> Storage;
    std::uint32_t Head = 0;
    std::uint32_t Tail = 0;
    bool IsFull = false; // head equal to tail is a full ring, not an empty one
    std::uint32_t ScanAt = 0;
    std::uint32_t UnscannedBytes = 0;
    std::uint32_t AvailAt = 0;
    std::uint32_t SinceAvail = 0;
    std::uint64_t Stored = 0;
};

} // namespace apd
