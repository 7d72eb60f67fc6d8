#pragma once
// The state of a port component: every value its properties, events and open sequence keep.
// Only the component's own files in comm/port include this; callers see CustomComPort.h.
//
// The component is used from one thread, so none of this is guarded. The one part that other
// threads reach is the thread-error mailbox, which guards itself (ThreadErrorMailbox.h).

#include "comm/dispatch/BaseDispatcher.h"
#include "comm/dispatch/TriggerRecords.h"
#include "comm/platform/Messaging.h"
#include "comm/port/ComPortTypes.h"
#include "comm/port/CustomComPort.h"
#include "comm/port/ThreadErrorMailbox.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace apd {

struct TApdCustomComPort::Impl {
    bool forceApply = false;
    TPortState portState = psClosed;
    bool reopenRequested = false;
    bool openAfterLoad = false;
    std::vector<TPortUser> portUsers;
    bool triggersSaved = false;
    TriggerSnapshot savedTriggers;
    platform::WindowHandle window = 0;
    // Errors of the dispatcher's threads, for the application's exception handler; shared
    // with the report each serial dispatcher is given, which may outlive a close.
    const std::shared_ptr<ThreadErrorMailbox> threadErrors = std::make_shared<ThreadErrorMailbox>();
    DispatcherFactory factory;
    PortSelectionPrompt prompt;
    TDeviceLayer deviceLayer = dlWin32;
    TDeviceLayerSet supportedLayers = DeviceLayerBit(dlWin32);
    std::unique_ptr<TApdBaseDispatcher> dispatcher;
    std::uint16_t comNumber = 0;
    std::int32_t baud = 19200;
    TParity parity = pNone;
    std::uint16_t dataBits = 8;
    std::uint16_t stopBits = 1;
    std::uint16_t inSize = 4096;
    std::uint16_t outSize = 4096;
    bool open = false;
    bool promptForPort = true;
    bool autoOpen = true;
    std::uint16_t commNotificationLevel = 10;
    std::uint16_t tapiDeviceId = 0;
    TTapiMode tapiMode = tmAuto;
    bool rs485Mode = false;
    std::uint8_t threadBoost = 0;
    bool dtr = true;
    bool rts = true;
    std::uint16_t bufferFull = 0;
    std::uint16_t bufferResume = 0;
    THWFlowOptionSet hwFlowOptions = 0;
    TSWFlowOptions swFlowOptions = swfNone;
    std::uint8_t xonChar = 17;
    std::uint8_t xoffChar = 19;
    TTraceLogState tracing = tlOff;
    std::uint32_t traceSize = 10000;
    std::string traceName = "ZURI.TRC";
    bool traceHex = true;
    bool traceAllHex = false;
    TTraceLogState logging = tlOff;
    std::uint32_t logSize = 10000;
    std::string logName = "ZURI.LOG";
    bool logHex = true;
    bool logAllHex = false;
    bool useMsrShadow = true;
    bool useEventWord = true;
    std::uint16_t triggerLength = 1;
    bool destroying = false;

    TTriggerEvent onTrigger;
    TTriggerAvailEvent onTriggerAvail;
    TTriggerDataEvent onTriggerData;
    TTriggerStatusEvent onTriggerStatus;
    TTriggerTimerEvent onTriggerTimer;
    TTriggerLineErrorEvent onTriggerLineError;
    TNotifyEvent onTriggerModemStatus;
    TNotifyEvent onTriggerOutbuffFree;
    TNotifyEvent onTriggerOutbuffUsed;
    TNotifyEvent onTriggerOutSent;
    TNotifyEvent onPortOpen;
    TNotifyEvent onPortClose;
    TWaitCharEvent onWaitChar;
};

inline bool TApdCustomComPort::ShuttingDown() const {
    return impl_->portState == psShuttingDown;
}

inline bool TApdCustomComPort::PortIsOpen() const {
    return impl_->portState == psOpen;
}

} // namespace apd
