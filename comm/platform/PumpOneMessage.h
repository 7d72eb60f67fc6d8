#pragma once
// Handles at most one pending window message of the calling thread, for code that must keep
// the thread's windows served while it waits for something.

namespace apd {

// Handles the messages sent to the calling thread from other threads, then removes and
// dispatches the first posted message, if there is one. A quit request is not handled but
// put back by posting a new one with the same exit code, so that the thread's own message
// loop still sees it. True when a message was handled; a quit request put back does not
// count, so a caller that waits for queue activity whenever nothing was done does not spin.
bool PumpOneMessage();

} // namespace apd
