#pragma once
// The serial port component: it holds a port's configuration, opens and closes the port
// through a dispatcher it creates, re-applies its settings to an open port, forwards I/O to
// the dispatcher, and turns the dispatcher's notifications into event calls on the thread
// that opened the port.
//
// Use it from one thread (the program's GUI thread). Every failure the dispatcher reports
// reaches the caller as an exception of the EAPDException family; while the component is
// being loaded from a stored form those failures are not raised.
//
// Setters compare the new value with the stored one and return when they are equal, unless
// ForceApply is set (the open sequence sets it to apply every setting anew). While the port
// is not open a setter only stores the value, except where its comment says otherwise.
//
// Closing from inside an event handler is deferred: the port is shutting down until the
// dispatcher's threads have ended, and the notification window completes the close then.

#include "comm/dispatch/BaseDispatcher.h"
#include "comm/dispatch/TriggerRecords.h"
#include "comm/platform/Messaging.h"
#include "comm/port/BaseComponent.h"
#include "comm/port/ComPortTypes.h"
#include "comm/port/ThreadErrorMailbox.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace apd {

// A party told when the port opens and closes: a window, sent MsgPortOpen or MsgPortClose
// (wParam 0, lParam 0), or else a callback.
struct TPortUser {
    platform::WindowHandle Window = 0;
    std::int32_t Reserved = 0;
    TPortCallback Callback;
};

// Creates the dispatcher of an open; its owner must be the component it is given.
using DispatcherFactory =
    std::function<std::unique_ptr<TApdBaseDispatcher>(TApdCustomComPort& port)>;

// Asks the user for a port when one is to be opened and ComNumber is 0: the chosen number,
// or nothing when the user cancelled.
using PortSelectionPrompt = std::function<std::optional<int>(TApdCustomComPort& port)>;

inline constexpr std::uint32_t MaxTraceSize = 4000000;
inline constexpr std::uint32_t MaxLogSize = 16000000;
inline constexpr std::size_t MaxShortStringLength = 255;

class TApdCustomComPort : public TApdBaseComponent {
public:
    explicit TApdCustomComPort(TApdBaseComponent* owner = nullptr);
    // Closes the port. A trace or log that cannot be written is lost here, not raised; a
    // close still in progress is completed first.
    ~TApdCustomComPort() override;

    void Loaded() override;
    // Copies the configuration of another port component (nothing for any other kind).
    virtual void Assign(const TApdBaseComponent& source);

    // ---- State --------------------------------------------------------------------------
    TPortState PortState() const { return portState_; }
    bool ForceApply() const { return forceApply_; }
    void SetForceApply(bool on) { forceApply_ = on; }
    bool ReopenRequested() const { return reopenRequested_; }
    bool TriggersSaved() const { return triggersSaved_; }
    // Drops the trigger snapshot a close took, so the next open starts with no triggers.
    void DiscardSavedTriggers();
    platform::WindowHandle NotificationWindow() const { return window_; }

    // ---- Open and the device --------------------------------------------------------
    bool Open() const { return open_; }
    // True opens (or, while shutting down, reopens once the close completed); False closes.
    // While designing or loading it only records the value.
    void SetOpen(bool open);

    TDeviceLayer DeviceLayer() const { return deviceLayer_; }
    // Taken only while the port is closed and only for a supported layer.
    void SetDeviceLayer(TDeviceLayer layer);
    TDeviceLayerSet SupportedDeviceLayers() const { return supportedLayers_; }

    std::uint16_t ComNumber() const { return comNumber_; }
    // While open, the port is reopened on the new number; its triggers and their handles,
    // and an active trace or log, carry over.
    void SetComNumber(std::uint16_t number);

    bool PromptForPort() const { return promptForPort_; }
    void SetPromptForPort(bool prompt);
    bool AutoOpen() const { return autoOpen_; }
    void SetAutoOpen(bool autoOpen);

    TTapiMode TapiMode() const { return tapiMode_; }
    void SetTapiMode(TTapiMode mode);
    // The handle a telephony service hands over, used when TapiMode is tmOn.
    std::uint16_t TapiDeviceId() const { return tapiDeviceId_; }
    void SetTapiDeviceId(std::uint16_t id) { tapiDeviceId_ = id; }

    void SetDispatcherFactory(DispatcherFactory factory) { factory_ = std::move(factory); }
    void SetPortSelectionPrompt(PortSelectionPrompt prompt) { prompt_ = std::move(prompt); }

    // ---- Line settings: stored first, then applied to an open port ------------------
    std::int32_t Baud() const { return baud_; }
    void SetBaud(std::int32_t baud);
    TParity Parity() const { return parity_; }
    void SetParity(TParity parity);
    std::uint16_t DataBits() const { return dataBits_; }
    void SetDataBits(std::uint16_t bits);
    std::uint16_t StopBits() const { return stopBits_; }
    void SetStopBits(std::uint16_t bits);
    std::uint16_t InSize() const { return inSize_; }
    void SetInSize(std::uint16_t size);
    std::uint16_t OutSize() const { return outSize_; }
    void SetOutSize(std::uint16_t size);

    // ---- Modem lines and flow control -----------------------------------------------
    // DTR and RTS keep their old value when the dispatcher does not set the line.
    bool DTR() const { return dtr_; }
    void SetDTR(bool on);
    bool RTS() const { return rts_; }
    void SetRTS(bool on);
    // Chooses thresholds (9/10 and 1/10 of InSize where unset or out of range) and applies
    // them; kept unchanged when the dispatcher refuses. hwfUseRTS or hwfRequireCTS end
    // RS-485 mode.
    THWFlowOptionSet HWFlowOptions() const { return hwFlowOptions_; }
    void SetHWFlowOptions(THWFlowOptionSet options);
    // As HWFlowOptions with 3/4 and 1/4.
    TSWFlowOptions SWFlowOptions() const { return swFlowOptions_; }
    void SetSWFlowOptions(TSWFlowOptions options);
    std::uint8_t XOnChar() const { return xonChar_; }
    void SetXOnChar(std::uint8_t c);
    std::uint8_t XOffChar() const { return xoffChar_; }
    void SetXOffChar(std::uint8_t c);
    // A threshold out of range is lowered; both flow modes are then applied anew.
    std::uint16_t BufferFull() const { return bufferFull_; }
    void SetBufferFull(std::uint16_t value);
    std::uint16_t BufferResume() const { return bufferResume_; }
    void SetBufferResume(std::uint16_t value);
    // True also takes hwfUseRTS and hwfRequireCTS out of HWFlowOptions and lowers RTS.
    bool RS485Mode() const { return rs485Mode_; }
    void SetRS485Mode(bool on);

    // ---- Other dispatcher options ---------------------------------------------------
    bool UseMSRShadow() const { return useMsrShadow_; }
    // Has no effect: the shadow is always used.
    virtual void SetUseMSRShadow(bool on);
    bool UseEventWord() const { return useEventWord_; }
    void SetUseEventWord(bool on);
    std::uint16_t CommNotificationLevel() const { return commNotificationLevel_; }
    void SetCommNotificationLevel(std::uint16_t level);
    std::uint16_t TriggerLength() const { return triggerLength_; }
    void SetTriggerLength(std::uint16_t length);
    std::uint8_t ThreadBoost() const { return threadBoost_; }
    void SetThreadBoost(std::uint8_t boost);

    // ---- Trace and dispatch log -----------------------------------------------------
    // A closed port keeps only tlOff and tlOn (any other value stores tlOff); an open one
    // runs the state's operation (tlDump writes the trace to TraceName, and so on).
    TTraceLogState Tracing() const { return tracing_; }
    void SetTracing(TTraceLogState state);
    // At most MaxTraceSize; an active trace restarts with the new size.
    std::uint32_t TraceSize() const { return traceSize_; }
    void SetTraceSize(std::uint32_t size);
    const std::string& TraceName() const { return traceName_; }
    void SetTraceName(const std::string& name);
    bool TraceHex() const { return traceHex_; }
    void SetTraceHex(bool on);
    bool TraceAllHex() const { return traceAllHex_; }
    void SetTraceAllHex(bool on);

    TTraceLogState Logging() const { return logging_; }
    void SetLogging(TTraceLogState state);
    std::uint32_t LogSize() const { return logSize_; }
    void SetLogSize(std::uint32_t size);
    const std::string& LogName() const { return logName_; }
    void SetLogName(const std::string& name);
    bool LogHex() const { return logHex_; }
    void SetLogHex(bool on);
    bool LogAllHex() const { return logAllHex_; }
    void SetLogAllHex(bool on);

    // Each does nothing while the port is shutting down; each opens a closed port when
    // AutoOpen is on, and raises ECommNotOpen when the port stays closed.
    void InitTracing(std::uint32_t numEntries);
    void DumpTrace(const std::string& fileName, bool inHex);
    void AppendTrace(const std::string& fileName, bool inHex);
    void ClearTracing();
    void AbortTracing();
    void StartTracing();
    void StopTracing();
    void InitLogging(std::uint32_t size);
    void DumpLog(const std::string& fileName, bool inHex);
    void AppendLog(const std::string& fileName, bool inHex);
    void ClearLogging();
    void AbortLogging();
    void StartLogging();
    void StopLogging();

    // ---- Port users -----------------------------------------------------------------
    void AddPortUser(const TPortUser& user);
    // Removes the first user with this window.
    void RemovePortUser(platform::WindowHandle window);
    const std::vector<TPortUser>& PortUsers() const { return portUsers_; }

    // ---- The dispatcher ---------------------------------------------------------------
    // The dispatcher, opening the port first when it is closed, AutoOpen is on and the
    // component is neither designed nor loaded. Null when the port stays closed.
    TApdBaseDispatcher* Dispatcher();
    // As Dispatcher, but raises ECommNotOpen when there is none.
    TApdBaseDispatcher& RequireDispatcher();

    // ---- I/O operations ---------------------------------------------------------------
    // Bytes waiting; 0 unless the port is open (never opens it).
    std::uint16_t InBuffUsed();
    bool CharReady();
    // One received byte; EBufferIsEmpty when none is waiting. Inside a data or avail
    // notification it reads ahead without consuming.
    std::uint8_t GetChar();
    void PutChar(std::uint8_t c);
    void FlushInBuffer();
    // The handle of a new data trigger on data (at most 255 bytes are taken; the dispatcher
    // refuses more than 21 with ETriggerTooLong).
    std::uint16_t AddDataTrigger(const std::string& data, bool ignoreCase);
    // Only while open: removes every trigger and sets TriggerLength to 0.
    void RemoveAllTriggers();
    // The pending line error (0 none); 0 unless open.
    std::uint16_t LineError();
    // Whether a break arrived since the last call; false unless open.
    bool LineBreak();
    void YieldComm();

    // ---- Events -----------------------------------------------------------------------
    const TTriggerEvent& OnTrigger() const { return onTrigger_; }
    void SetOnTrigger(TTriggerEvent handler);
    const TTriggerAvailEvent& OnTriggerAvail() const { return onTriggerAvail_; }
    void SetOnTriggerAvail(TTriggerAvailEvent handler);
    const TTriggerDataEvent& OnTriggerData() const { return onTriggerData_; }
    void SetOnTriggerData(TTriggerDataEvent handler);
    const TTriggerStatusEvent& OnTriggerStatus() const { return onTriggerStatus_; }
    void SetOnTriggerStatus(TTriggerStatusEvent handler);
    const TTriggerTimerEvent& OnTriggerTimer() const { return onTriggerTimer_; }
    void SetOnTriggerTimer(TTriggerTimerEvent handler);
    const TTriggerLineErrorEvent& OnTriggerLineError() const { return onTriggerLineError_; }
    void SetOnTriggerLineError(TTriggerLineErrorEvent handler);
    const TNotifyEvent& OnTriggerModemStatus() const { return onTriggerModemStatus_; }
    void SetOnTriggerModemStatus(TNotifyEvent handler);
    const TNotifyEvent& OnTriggerOutbuffFree() const { return onTriggerOutbuffFree_; }
    void SetOnTriggerOutbuffFree(TNotifyEvent handler);
    const TNotifyEvent& OnTriggerOutbuffUsed() const { return onTriggerOutbuffUsed_; }
    void SetOnTriggerOutbuffUsed(TNotifyEvent handler);
    const TNotifyEvent& OnTriggerOutSent() const { return onTriggerOutSent_; }
    void SetOnTriggerOutSent(TNotifyEvent handler);
    // Kept for stored forms; nothing fires it.
    const TWaitCharEvent& OnWaitChar() const { return onWaitChar_; }
    void SetOnWaitChar(TWaitCharEvent handler) { onWaitChar_ = std::move(handler); }
    const TNotifyEvent& OnPortOpen() const { return onPortOpen_; }
    void SetOnPortOpen(TNotifyEvent handler) { onPortOpen_ = std::move(handler); }
    const TNotifyEvent& OnPortClose() const { return onPortClose_; }
    void SetOnPortClose(TNotifyEvent handler) { onPortClose_ = std::move(handler); }

    // The notification window's procedure.
    static platform::LResult ComWindowProc(platform::WindowHandle window, std::uint32_t msg,
                                           platform::WParam wParam, platform::LParam lParam);

protected:
    virtual std::unique_ptr<TApdBaseDispatcher> CreateDispatcher();
    virtual void DeviceLayerChanged() {}
    virtual void InitializePort();
    virtual void HookNotifyWindow(bool enable);
    // Makes sure ComNumber names a port, asking through the prompt when it is 0 and
    // PromptForPort is on; ENoPortSelected otherwise.
    virtual void ValidateComNumber();
    virtual void DoTrigger(std::uint16_t msg, std::uint16_t triggerHandle, std::uint16_t data);
    virtual void DoTriggerAvail(std::uint16_t count);
    virtual void DoTriggerData(std::uint16_t triggerHandle);
    virtual void DoTriggerStatus(std::uint16_t triggerHandle);
    virtual void DoTriggerTimer(std::uint16_t triggerHandle);
    // Tells the dispatcher whether the component wants notifications at all.
    virtual void UpdateEventHooks();
    virtual void DoTriggerLineError(std::uint16_t error, bool lineBreak);
    virtual void DoTriggerModemStatus();
    virtual void DoTriggerOutbuffFree();
    virtual void DoTriggerOutbuffUsed();
    virtual void DoTriggerOutSent();
    virtual void DoWaitChar(std::uint8_t c);
    virtual void DoClose();
    virtual void PortOpenNotify();
    virtual void PortCloseNotify();
    virtual void DoOpen();

private:
    enum class ClosePendingOutcome { Done, StillStopping };

    // The trace or log state machine; the operations belong to the kind of record.
    struct TraceLogOps;
    static const TraceLogOps& TraceOps();
    static const TraceLogOps& LogOps();
    void ApplyTraceLogState(const TraceLogOps& ops, TTraceLogState state);
    void ResizeTraceLog(const TraceLogOps& ops, std::uint32_t size);

    // Threshold rule of the flow modes: full and resume as fractions of InSize.
    void ApplyThresholds(std::uint32_t fullTenths, std::uint32_t resumeTenths,
                         std::uint32_t denominator);
    void ReapplyFlowControl();
    // Raises ENotOpenedByTapi unless the dispatcher has a handed-over device to take.
    void RequireHandedOverDevice() const;
    // Takes the line settings and flow options from the open, handed-over device.
    void ReadBackTelephonySettings();
    void SaveDispatcherTriggers();
    bool AnyTriggerEventAssigned() const;
    void NotifyPortUsers(std::uint32_t msg, bool opening);
    // The end of a close: the window goes, then the dispatcher.
    void FinishClose();
    // Destruction while shutting down: waits for the dispatcher's threads first.
    void CompleteCloseOnDestroy();
    ClosePendingOutcome HandleClosePending();
    void HandleNotification(std::uint32_t msg, platform::WParam wParam, platform::LParam lParam,
                            bool& repostClosePending);
    ErrorCode Check(ErrorCode code) const;
    bool ShuttingDown() const { return portState_ == psShuttingDown; }
    bool PortIsOpen() const { return portState_ == psOpen; }
    // The line of the Baud, Parity, DataBits and StopBits properties, whose values 0, 5, 9
    // and 3 keep what the line has (data and stop bits as their low byte).
    LineRequest LineSettingsRequest() const;

    bool forceApply_ = false;
    TPortState portState_ = psClosed;
    bool reopenRequested_ = false;
    bool openAfterLoad_ = false;
    std::vector<TPortUser> portUsers_;
    bool triggersSaved_ = false;
    TriggerSnapshot savedTriggers_;
    platform::WindowHandle window_ = 0;
    // Errors of the dispatcher's threads, for the application's exception handler; shared
    // with the report each serial dispatcher is given, which may outlive a close.
    const std::shared_ptr<ThreadErrorMailbox> threadErrors_ =
        std::make_shared<ThreadErrorMailbox>();
    DispatcherFactory factory_;
    PortSelectionPrompt prompt_;
    TDeviceLayer deviceLayer_ = dlWin32;
    TDeviceLayerSet supportedLayers_ = DeviceLayerBit(dlWin32);
    std::unique_ptr<TApdBaseDispatcher> dispatcher_;
    std::uint16_t comNumber_ = 0;
    std::int32_t baud_ = 19200;
    TParity parity_ = pNone;
    std::uint16_t dataBits_ = 8;
    std::uint16_t stopBits_ = 1;
    std::uint16_t inSize_ = 4096;
    std::uint16_t outSize_ = 4096;
    bool open_ = false;
    bool promptForPort_ = true;
    bool autoOpen_ = true;
    std::uint16_t commNotificationLevel_ = 10;
    std::uint16_t tapiDeviceId_ = 0;
    TTapiMode tapiMode_ = tmAuto;
    bool rs485Mode_ = false;
    std::uint8_t threadBoost_ = 0;
    bool dtr_ = true;
    bool rts_ = true;
    std::uint16_t bufferFull_ = 0;
    std::uint16_t bufferResume_ = 0;
    THWFlowOptionSet hwFlowOptions_ = 0;
    TSWFlowOptions swFlowOptions_ = swfNone;
    std::uint8_t xonChar_ = 17;
    std::uint8_t xoffChar_ = 19;
    TTraceLogState tracing_ = tlOff;
    std::uint32_t traceSize_ = 10000;
    std::string traceName_ = "ZURI.TRC";
    bool traceHex_ = true;
    bool traceAllHex_ = false;
    TTraceLogState logging_ = tlOff;
    std::uint32_t logSize_ = 10000;
    std::string logName_ = "ZURI.LOG";
    bool logHex_ = true;
    bool logAllHex_ = false;
    bool useMsrShadow_ = true;
    bool useEventWord_ = true;
    std::uint16_t triggerLength_ = 1;
    bool destroying_ = false;

    TTriggerEvent onTrigger_;
    TTriggerAvailEvent onTriggerAvail_;
    TTriggerDataEvent onTriggerData_;
    TTriggerStatusEvent onTriggerStatus_;
    TTriggerTimerEvent onTriggerTimer_;
    TTriggerLineErrorEvent onTriggerLineError_;
    TNotifyEvent onTriggerModemStatus_;
    TNotifyEvent onTriggerOutbuffFree_;
    TNotifyEvent onTriggerOutbuffUsed_;
    TNotifyEvent onTriggerOutSent_;
    TNotifyEvent onPortOpen_;
    TNotifyEvent onPortClose_;
    TWaitCharEvent onWaitChar_;
};

} // namespace apd
