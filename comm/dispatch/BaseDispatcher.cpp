#include "comm/dispatch/BaseDispatcher.h"

#include "comm/dispatch/DispatcherRegistry.h"

namespace apd {

namespace {
// Room reserved up front so that registering a few handlers does not reallocate a list
// that the dispatch thread is about to walk.
constexpr std::size_t ReservedHandlers = 8;
} // namespace

TApdBaseDispatcher::TApdBaseDispatcher(TApdBaseComponent* owner) : Owner(owner) {
    DispatcherHandle = RegisterDispatcher(this);
    WindowHandlers.reserve(ReservedHandlers);
    ProcedureHandlers.reserve(ReservedHandlers);
    MethodHandlers.reserve(ReservedHandlers);
}

TApdBaseDispatcher::~TApdBaseDispatcher() {
    // The device layer's part of the object is gone by now; its destructor has called
    // ShutDownPort. Here only what the base owns is released.
    ReleaseBuffers();
    UnregisterDispatcher(DispatcherHandle);
}

void TApdBaseDispatcher::ShutDownPort() {
    if (CloseDeferred) {
        FreePortResources();
    } else {
        CloseDevicePort();
    }
}

void TApdBaseDispatcher::FreePortResources() {
    if (DispatcherActive) {
        StopDispatcher();
    }
    ReleaseBuffers();
}

void TApdBaseDispatcher::ReleaseBuffers() {
    // Each buffer is released under the lock that guards its indexes, so that a release
    // running at the same time on another thread finds it gone and skips it.
    {
        LockHold input(InputLock);
        InputRing.Free();
    }
    {
        LockHold output(OutputLock);
        OutputBuffer.reset();
        OutputHead = 0;
        OutputTail = 0;
        OutputBufferFull = false;
    }
}

void TApdBaseDispatcher::SetThreadPriorityBoost(std::uint8_t boost) {
    // The thread layer overrides this to apply the boost to its threads.
    LockHold data(DataLock);
    PriorityBoost = boost;
}

void TApdBaseDispatcher::SyncNotify(std::uint32_t msg, std::uint32_t wParam,
                                    const NotifyMethod& method, std::uint32_t lParam) {
    method.Code(method.Data, msg, wParam, static_cast<platform::LParam>(lParam));
}

} // namespace apd
