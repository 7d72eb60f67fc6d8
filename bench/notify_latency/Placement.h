#pragma once
// Where the benchmark's threads run: free (the scheduler places them), or pinned apart as
// the peer comparison runs them, the far end on one CPU and every receiving thread on
// another. Receiving threads inherit the CPU of the thread that creates them, so a side
// creates them after ReceiverSide and goes on as the far end after FarSide.

namespace apd::bench {

class Placement {
public:
    explicit Placement(bool pinned) : pinned_(pinned) {}
    bool Pinned() const { return pinned_; }
    // The calling thread, and the threads it creates from now on, run where the receiver
    // runs.
    void ReceiverSide() const;
    // The calling thread runs where the far end runs.
    void FarSide() const;

private:
    bool pinned_;
};

} // namespace apd::bench
