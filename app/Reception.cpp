// Result reception: the main window's handler of the record header trigger, and the look
// at the line that its timer takes.

#include "app/Main.h"

#include "app/ResultText.h"
#include "comm/dispatch/RingIndex.h"

#include <QDate>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QStatusBar>
#include <QTime>

#include <vector>

namespace vorsilan::app {

namespace {

// In modes 1 and 2 a notification waits for this many bytes first, as it does for a record.
constexpr std::uint32_t RecordStartBytes = 24;
// A ring this full outside a notification in normal reception has no room for a record.
constexpr std::uint32_t RingFullBytes = apd::DispatchBufferSize - RecordSize;

void DropFront(std::vector<std::uint8_t>& bytes, std::size_t count) {
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

} // namespace

bool TForm1::WaitForBytes(std::uint32_t count) {
    return WaitForWaitingBytes(*CPort, count, LineTime(*CPort, count) + bounds_.margin,
                               bounds_.pauses);
}

void TForm1::ShowRecord(const DecodedRecord& record) {
    // One reading of the clock: the shown date and time and the kept arrival agree.
    const QDateTime now = Clock();
    Edit2->setText(QString::number(record.number));
    ResultValue = record.value;
    SampleKind = record.kind;
    const QString label = ResultLabelText(ResultValue, SampleKind);
    if (!label.isEmpty()) {
        Label7->setText(label);
        Label7->adjustSize();
    }
    ResultDate = ResultDateText(now.date());
    Label8->setText(ResultDate);
    Label8->adjustSize();
    ResultTime = ResultTimeText(now.time());
    Label9->setText(ResultTime);
    Label9->adjustSize();
    ResultArrival = {record.bytes, now, PortName()};
    ResultReceivedId.reset();
    ResultPending = true;
    emit RecordReceived(record);
    // Kept after it is shown, so that the fsync does not delay the result on the screen.
    ResultReceivedId = store_->AddReceived(ResultArrival);
    if (!ResultReceivedId) {
        ShowStatus(ReceivedNotKeptText + store_->LastError());
    }
}

void TForm1::ReceiveRecords() {
    using Action = ReceptionStep::Action;
    using Otherwise = ReceptionStep::Otherwise;
    // Bytes taken off the port and not yet settled. Each is taken only once it is needed,
    // so that nothing behind the last record is read before its time.
    std::vector<std::uint8_t> pending;
    pending.reserve(2 * RecordSize);
    const auto take = [&](std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            pending.push_back(CPort->GetChar());
        }
    };
    const auto decodeFront = [&] {
        ShowRecord(DecodeRecord(std::span(pending).first<RecordSize>()));
        DropFront(pending, RecordSize);
    };
    for (;;) {
        const ReceptionStep step = NextReceptionStep(pending);
        if (step.action == Action::Skip) {
            DropFront(pending, step.count);
            continue;
        }
        if (step.action == Action::Decode) {
            decodeFront();
            continue;
        }
        if (pending.empty()) {
            // Between records: whatever waits is looked at, nothing is waited for.
            if (!CPort->Open() || CPort->InBuffUsed() == 0) {
                return;
            }
            take(1);
            continue;
        }
        const auto missing = static_cast<std::uint32_t>(step.count - pending.size());
        if (WaitForBytes(missing)) {
            take(missing);
            continue;
        }
        if (!CPort->Open()) {
            ShowStatus(ReceptionStoppedText);
            return;
        }
        if (DeviceLost(*CPort)) {
            // The rest will never come: the record was cut by the loss, not by the line.
            ShowLinkLost();
            return;
        }
        switch (step.otherwise) {
        case Otherwise::GiveUp:
            DropFront(pending, BrokenRecordLength(pending));
            ShowStatus(IncompleteRecordText);
            break;
        case Otherwise::DropQuietly:
            DropFront(pending, 1);
            break;
        case Otherwise::Decode:
            decodeFront();
            break;
        }
    }
}

void TForm1::ReceiveExchangeByte() {
    if (!WaitForBytes(RecordStartBytes) || (ExchangeMode == 1 && !WaitForBytes(1))) {
        if (DeviceLost(*CPort)) {
            ShowLinkLost(); // a flush would fail on the device that is gone
        } else if (CPort->Open()) {
            CPort->FlushInBuffer();
            ShowStatus(IncompleteRecordText);
        } else {
            ShowStatus(ReceptionStoppedText);
        }
        return;
    }
    CPort->GetChar();
    CPort->FlushInBuffer();
}

void TForm1::CPortTriggerData(apd::TApdCustomComPort& /*CP*/, std::uint16_t /*TriggerHandle*/) {
    if (inNotification_) {
        // A later notification reached the window while a wait of the handler let its
        // messages run: the handler that runs takes those bytes too.
        return;
    }
    inNotification_ = true;
    struct Clear {
        bool& flag;
        ~Clear() { flag = false; }
    } clear{inNotification_};

    try {
        if (ExchangeMode == 0) {
            ReceiveRecords();
        } else if (ExchangeMode == 1 || ExchangeMode == 2) {
            ReceiveExchangeByte();
        }
    } catch (...) {
        // The device went away while the handler used the port: whatever call failed on it,
        // the loss is what the technician needs to know.
        if (!IsDeviceLoss(std::current_exception()) && !DeviceLost(*CPort)) {
            throw;
        }
        ShowLinkLost();
    }
}

void TForm1::DiscardWaitingBytes() {
    for (std::uint16_t waiting = CPort->InBuffUsed(); waiting > 0; --waiting) {
        CPort->GetChar();
    }
}

void TForm1::ShowLinkLost() {
    if (!lossShown_) {
        lossShown_ = true;
        ShowStatus(LinkLostText);
    }
}

void TForm1::PortOpened() {
    lossShown_ = false;
    if (StatusBar->currentMessage() == LinkLostText) {
        StatusBar->clearMessage();
    }
}

void TForm1::CheckLine() {
    if (!CPort->Open() || inNotification_) {
        return;
    }
    const bool lost = DeviceLost(*CPort);
    if (lost) {
        ShowLinkLost();
    } else {
        lossShown_ = false;
    }
    if (!lost && ExchangeMode == 0 && CPort->InBuffUsed() >= RingFullBytes) {
        // Only the ring: a record may be waiting in the driver's queue behind the noise.
        DiscardWaitingBytes();
        ShowStatus(RingFullText);
    }
}

} // namespace vorsilan::app
