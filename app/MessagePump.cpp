#include "app/MessagePump.h"

#include "comm/platform/Messaging.h"

#include <QMetaObject>

namespace vorsilan::app {

MessagePump::MessagePump(QObject* parent) : QObject(parent) {
    apd::platform::SetQueueWakeHook([this] {
        // One queued drain at a time is enough: it empties the whole queue.
        if (!drainQueued_.exchange(true)) {
            QMetaObject::invokeMethod(this, &MessagePump::Drain, Qt::QueuedConnection);
        }
    });
    // Messages that arrived before the hook existed.
    QMetaObject::invokeMethod(this, &MessagePump::Drain, Qt::QueuedConnection);
}

MessagePump::~MessagePump() {
    apd::platform::SetQueueWakeHook({});
}

void MessagePump::Drain() {
    drainQueued_ = false;
    apd::platform::Message message;
    while (apd::platform::PeekWindowMessage(message, true)) {
        if (message.window == 0 && message.message == apd::platform::QuitMessage) {
            continue; // Qt's own loop decides when the program ends
        }
        apd::platform::DispatchWindowMessage(message);
    }
}

} // namespace vorsilan::app
