#pragma once
// Runs the library's window messages of the GUI thread from Qt's event loop: whenever a
// message reaches the thread's queue, a queued call drains it, so the port component's
// notifications run on the GUI thread, also while a modal dialog runs its own loop.

#include <QObject>

#include <atomic>

namespace vorsilan::app {

class MessagePump : public QObject {
    Q_OBJECT
public:
    // Installs the wake hook for the calling thread, which must be the GUI thread.
    explicit MessagePump(QObject* parent = nullptr);
    ~MessagePump() override;
    MessagePump(const MessagePump&) = delete;
    MessagePump& operator=(const MessagePump&) = delete;

    // Handles every message waiting in the calling thread's queue.
    void Drain();

private:
    std::atomic<bool> drainQueued_{false};
};

} // namespace vorsilan::app
