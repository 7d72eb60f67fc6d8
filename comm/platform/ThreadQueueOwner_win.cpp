// The calling thread's queue, released when the thread ends by a fiber-local storage
// callback.
//
// Not by a thread_local's destructor, as on POSIX: with mingw-w64 the storage of thread_local
// variables is freed by a thread-exit hook that may run before the one that calls their
// destructors, which then work on freed memory. The callback gets the queue itself, not a
// thread_local, and Windows runs it when the thread ends.

#include "comm/platform/WindowManager.h"

#include <windows.h>

#include <atomic>
#include <memory>

namespace apd::platform::detail {
namespace {

// Set while static objects are destroyed at the end of the process: a callback that runs
// after that, for the thread that ends the process, must not reach the window manager,
// which is gone by then, and has nothing left to release.
std::atomic<bool> processEnding{false};
struct EndOfProcessMark {
    ~EndOfProcessMark() { processEnding = true; }
} endOfProcessMark;

void WINAPI ReleaseAtThreadEnd(void* data) {
    std::unique_ptr<std::shared_ptr<ThreadQueue>> held(
        static_cast<std::shared_ptr<ThreadQueue>*>(data));
    if (held && !processEnding) {
        ReleaseQueue(**held);
    }
}

DWORD QueueSlot() {
    static const DWORD slot = ::FlsAlloc(&ReleaseAtThreadEnd);
    return slot;
}

} // namespace

std::shared_ptr<ThreadQueue> CurrentThreadQueue() {
    // A plain pointer: nothing for the thread's end to destroy. The object it points to
    // belongs to the fiber-local slot, whose callback deletes it.
    thread_local std::shared_ptr<ThreadQueue>* held = nullptr;
    if (held == nullptr) {
        auto owner = std::make_unique<std::shared_ptr<ThreadQueue>>(
            std::make_shared<ThreadQueue>(CurrentThreadId()));
        // Without a slot (none left) the queue still works and lives until the process
        // ends.
        (void)::FlsSetValue(QueueSlot(), owner.get());
        held = owner.release();
    }
    return *held;
}

} // namespace apd::platform::detail
