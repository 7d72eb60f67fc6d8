// The calling thread's queue, released when the thread ends by a thread_local's destructor.

#include "comm/platform/WindowManager.h"

namespace apd::platform::detail {
namespace {

// Owns the calling thread's queue for the lifetime of the thread.
class QueueOfThisThread {
public:
    QueueOfThisThread() : queue(std::make_shared<ThreadQueue>(CurrentThreadId())) {}
    ~QueueOfThisThread() { ReleaseQueue(*queue); }
    QueueOfThisThread(const QueueOfThisThread&) = delete;
    QueueOfThisThread& operator=(const QueueOfThisThread&) = delete;

    const std::shared_ptr<ThreadQueue> queue;
};

} // namespace

std::shared_ptr<ThreadQueue> CurrentThreadQueue() {
    thread_local QueueOfThisThread ownQueue;
    return ownQueue.queue;
}

} // namespace apd::platform::detail
