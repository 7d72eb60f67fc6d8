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
#include "comm/platform/Messaging.h"
#include "comm/port/BaseComponent.h"
#include "comm/port/ComPortTypes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
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
    TPortState PortState() const;
    bool ForceApply() const;
    void SetForceApply(bool on);
    bool ReopenRequested() const;
    bool TriggersSaved() const;
    // Drops the trigger snapshot a close took, so the next open starts with no triggers.
    void DiscardSavedTriggers();
    platform::WindowHandle NotificationWindow() const;

    // ---- Open and the device --------------------------------------------------------
    bool Open() const;
    // True opens (or, while shutting down, reopens once the close completed); False closes.
    // While designing or loading it only records the value.
    void SetOpen(bool open);

    std::uint16_t ComNumber() const;
    // While open, the port is reopened on the new number; its triggers and their handles,
    // and an active trace or log, carry over.
    void SetComNumber(std::uint16_t number);

    bool PromptForPort() const;
    void SetPromptForPort(bool prompt);
    bool AutoOpen() const;
    void SetAutoOpen(bool autoOpen);

    TTapiMode TapiMode() const;
    void SetTapiMode(TTapiMode mode);
    // The handle a telephony service hands over, used when TapiMode is tmOn.
    std::uint16_t TapiDeviceId() const;
    void SetTapiDeviceId(std::uint16_t id);

    void SetDispatcherFactory(DispatcherFactory factory);
    void SetPortSelectionPrompt(PortSelectionPrompt prompt);

    // ---- Line settings: stored first, then applied to an open port ------------------
    std::int32_t Baud() const;
    void SetBaud(std::int32_t baud);
    TParity Parity() const;
    void SetParity(TParity parity);
    std::uint16_t DataBits() const;
    void SetDataBits(std::uint16_t bits);
    std::uint16_t StopBits() const;
    void SetStopBits(std::uint16_t bits);
    std::uint16_t InSize() const;
    void SetInSize(std::uint16_t size);
    std::uint16_t OutSize() const;
    void SetOutSize(std::uint16_t size);

    // ---- Modem lines and flow control -----------------------------------------------
    // DTR and RTS keep their old value when the dispatcher does not set the line.
    bool DTR() const;
    void SetDTR(bool on);
    bool RTS() const;
    void SetRTS(bool on);
    // Chooses thresholds (9/10 and 1/10 of InSize where unset or out of range) and applies
    // them; kept unchanged when the dispatcher refuses. hwfUseRTS or hwfRequireCTS end
    // RS-485 mode.
    THWFlowOptionSet HWFlowOptions() const;
    void SetHWFlowOptions(THWFlowOptionSet options);
    // As HWFlowOptions with 3/4 and 1/4.
    TSWFlowOptions SWFlowOptions() const;
    void SetSWFlowOptions(TSWFlowOptions options);
    std::uint8_t XOnChar() const;
    void SetXOnChar(std::uint8_t c);
    std::uint8_t XOffChar() const;
    void SetXOffChar(std::uint8_t c);
    // A threshold out of range is lowered; both flow modes are then applied anew.
    std::uint16_t BufferFull() const;
    void SetBufferFull(std::uint16_t value);
    std::uint16_t BufferResume() const;
    void SetBufferResume(std::uint16_t value);
    // True also takes hwfUseRTS and hwfRequireCTS out of HWFlowOptions and lowers RTS.
    bool RS485Mode() const;
    void SetRS485Mode(bool on);

    // ---- Other dispatcher options ---------------------------------------------------
    std::uint16_t TriggerLength() const;
    void SetTriggerLength(std::uint16_t length);
    std::uint8_t ThreadBoost() const;
    void SetThreadBoost(std::uint8_t boost);

    // ---- Properties without effect here ------------------------------------------------
    // Kept so that programs and stored forms that set them compile and load unchanged. What
    // they choose belongs to older Windows drivers and hardware and has no counterpart in
    // this library, on POSIX or on Windows: none of them changes what the port does.
    // - DeviceLayer: the one device layer is dlWin32, the serial device. The 16-bit Windows,
    //   FOSSIL and Winsock layers do not exist: SetDeviceLayer refuses them, and
    //   SupportedDeviceLayers holds dlWin32 only.
    // - UseMSRShadow: the dispatcher always keeps a shadow of the modem status;
    //   SetUseMSRShadow keeps True.
    // - UseEventWord: an open port passes it on as a dispatcher option bit nothing reads.
    // - CommNotificationLevel: only stored; notifications come from the dispatcher's
    //   triggers (TriggerLength, the data triggers).
    // - OnWaitChar: nothing fires it.
    TDeviceLayer DeviceLayer() const;
    // Taken only while the port is closed and only for a supported layer.
    void SetDeviceLayer(TDeviceLayer layer);
    TDeviceLayerSet SupportedDeviceLayers() const;
    bool UseMSRShadow() const;
    virtual void SetUseMSRShadow(bool on);
    bool UseEventWord() const;
    void SetUseEventWord(bool on);
    std::uint16_t CommNotificationLevel() const;
    void SetCommNotificationLevel(std::uint16_t level);
    const TWaitCharEvent& OnWaitChar() const;
    void SetOnWaitChar(TWaitCharEvent handler);

    // ---- Trace and dispatch log -----------------------------------------------------
    // A closed port keeps only tlOff and tlOn (any other value stores tlOff); an open one
    // runs the state's operation (tlDump writes the trace to TraceName, and so on).
    TTraceLogState Tracing() const;
    void SetTracing(TTraceLogState state);
    // At most MaxTraceSize; an active trace restarts with the new size.
    std::uint32_t TraceSize() const;
    void SetTraceSize(std::uint32_t size);
    const std::string& TraceName() const;
    void SetTraceName(const std::string& name);
    bool TraceHex() const;
    void SetTraceHex(bool on);
    bool TraceAllHex() const;
    void SetTraceAllHex(bool on);

    TTraceLogState Logging() const;
    void SetLogging(TTraceLogState state);
    std::uint32_t LogSize() const;
    void SetLogSize(std::uint32_t size);
    const std::string& LogName() const;
    void SetLogName(const std::string& name);
    bool LogHex() const;
    void SetLogHex(bool on);
    bool LogAllHex() const;
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
    const std::vector<TPortUser>& PortUsers() const;

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
    // The block.size() oldest waiting bytes into block, consumed as that many GetChar calls
    // would consume them (inside a data or avail notification the handler reads ahead past
    // what it read before). EGetBlockFail when fewer bytes wait, also for a block longer
    // than the receive buffer: nothing is copied or consumed then. Returns block.size(), or
    // 0 when nothing was read (shutting down, or a failure not raised while loading).
    std::size_t GetBlock(std::span<std::uint8_t> block);
    // As GetBlock, always counting from the oldest waiting byte, and consuming nothing.
    std::size_t PeekBlock(std::span<std::uint8_t> block);
    // Queues the whole block for sending: EOutputBufferTooSmall, with nothing queued, when
    // the output buffer has no room for all of it.
    void PutBlock(std::span<const std::uint8_t> block);
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
    const TTriggerEvent& OnTrigger() const;
    void SetOnTrigger(TTriggerEvent handler);
    const TTriggerAvailEvent& OnTriggerAvail() const;
    void SetOnTriggerAvail(TTriggerAvailEvent handler);
    const TTriggerDataEvent& OnTriggerData() const;
    void SetOnTriggerData(TTriggerDataEvent handler);
    const TTriggerStatusEvent& OnTriggerStatus() const;
    void SetOnTriggerStatus(TTriggerStatusEvent handler);
    const TTriggerTimerEvent& OnTriggerTimer() const;
    void SetOnTriggerTimer(TTriggerTimerEvent handler);
    const TTriggerLineErrorEvent& OnTriggerLineError() const;
    void SetOnTriggerLineError(TTriggerLineErrorEvent handler);
    const TNotifyEvent& OnTriggerModemStatus() const;
    void SetOnTriggerModemStatus(TNotifyEvent handler);
    const TNotifyEvent& OnTriggerOutbuffFree() const;
    void SetOnTriggerOutbuffFree(TNotifyEvent handler);
    const TNotifyEvent& OnTriggerOutbuffUsed() const;
    void SetOnTriggerOutbuffUsed(TNotifyEvent handler);
    const TNotifyEvent& OnTriggerOutSent() const;
    void SetOnTriggerOutSent(TNotifyEvent handler);
    const TNotifyEvent& OnPortOpen() const;
    void SetOnPortOpen(TNotifyEvent handler);
    const TNotifyEvent& OnPortClose() const;
    void SetOnPortClose(TNotifyEvent handler);

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

    // The threshold rule of the flow modes: where BufferFull is unset or above InSize it
    // becomes InSize * fullNumerator / denominator, and where BufferResume is unset or above
    // BufferFull it becomes InSize * resumeNumerator / denominator.
    void ApplyThresholds(std::uint32_t fullNumerator, std::uint32_t resumeNumerator,
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
    bool ShuttingDown() const;
    bool PortIsOpen() const;
    // The line of the Baud, Parity, DataBits and StopBits properties, whose values 0, 5, 9
    // and 3 keep what the line has (data and stop bits as their low byte).
    LineRequest LineSettingsRequest() const;

    // The component's state (comm/port/CustomComPortImpl.h, for this folder's files only).
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace apd
