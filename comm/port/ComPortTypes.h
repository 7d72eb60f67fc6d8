#pragma once
// The value types of the port component's properties and the types of its events.

#include <cstdint>
#include <functional>

namespace apd {

class TApdCustomComPort;

enum TDeviceLayer : std::uint8_t { dlWin16, dlFossil, dlWin32, dlWinsock };
enum TParity : std::uint8_t { pNone, pOdd, pEven, pMark, pSpace };
enum TSWFlowOptions : std::uint8_t { swfNone, swfReceive, swfTransmit, swfBoth };
enum TTraceLogState : std::uint8_t { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };
enum TTapiMode : std::uint8_t { tmNone, tmAuto, tmOn, tmOff };
enum TPortState : std::uint8_t { psClosed, psShuttingDown, psOpen };

// A set of hardware flow options: the or of its members' bits.
using THWFlowOptionSet = std::uint8_t;
inline constexpr THWFlowOptionSet hwfUseDTR = 1;
inline constexpr THWFlowOptionSet hwfUseRTS = 2;
inline constexpr THWFlowOptionSet hwfRequireDSR = 4;
inline constexpr THWFlowOptionSet hwfRequireCTS = 8;
inline constexpr THWFlowOptionSet hwfAll = 15;

// A set of device layers: bit (1 << layer) for each member.
using TDeviceLayerSet = std::uint8_t;
constexpr TDeviceLayerSet DeviceLayerBit(TDeviceLayer layer) {
    return static_cast<TDeviceLayerSet>(1u << layer);
}

// Events. An event is assigned when its function is not empty; each gets the component
// first.
using TNotifyEvent = std::function<void(TApdCustomComPort& sender)>;
using TTriggerEvent = std::function<void(TApdCustomComPort& cp, std::uint16_t msg,
                                         std::uint16_t triggerHandle, std::uint16_t data)>;
using TTriggerAvailEvent = std::function<void(TApdCustomComPort& cp, std::uint16_t count)>;
using TTriggerDataEvent = std::function<void(TApdCustomComPort& cp, std::uint16_t triggerHandle)>;
using TTriggerStatusEvent = std::function<void(TApdCustomComPort& cp, std::uint16_t triggerHandle)>;
using TTriggerTimerEvent = std::function<void(TApdCustomComPort& cp, std::uint16_t triggerHandle)>;
using TTriggerLineErrorEvent =
    std::function<void(TApdCustomComPort& cp, std::uint16_t error, bool lineBreak)>;
using TWaitCharEvent = std::function<void(TApdCustomComPort& cp, std::uint8_t c)>;

// What a port user is told on open (opening true) and close.
using TPortCallback = std::function<void(TApdCustomComPort& cp, bool opening)>;

} // namespace apd
