#include "app/SettingsExchange.h"

#include "app/Main.h"
#include "app/SetupDialog.h"

#include <QCoreApplication>

#include <exception>
#include <optional>
#include <string>

namespace vorsilan::app {

namespace {

constexpr std::uint8_t CommandLead = 0xAA;
constexpr std::uint8_t ReadCommand = 0x00;
constexpr std::uint8_t WriteCommand = 0x01;
// Reception after the exchange: a one-byte trigger on the record header's first byte.
const std::string ReceptionTrigger("\xAA", 1);

class SettingsExchange {
public:
    SettingsExchange(TForm1& form, const SettingsExchangeOptions& options)
        : form_(form), port_(form.Port()), options_(options) {}

    void Run();

private:
    // False when the analyser stopped answering; the message is kept for the end.
    bool ReadBlock();
    bool WriteBlock(const SettingsBlock& block);
    void ShowDialog();
    // Back to normal reception: the port is closed and reopened with the one trigger.
    void Finish();

    TForm1& form_;
    apd::TApdComPort& port_;
    const SettingsExchangeOptions& options_;
    SettingsBlock block_{};
    std::optional<QString> failure_;
};

void SettingsExchange::Run() {
    form_.ExchangeMode = 1;
    port_.RemoveAllTriggers();
    // Bytes already waiting (noise, part of a record) would be taken for the answer and
    // shift the whole block.
    port_.FlushInBuffer();
    // A port that cannot be opened fails here; nothing has changed on the line, and the
    // port choice returns the window to normal reception.
    port_.PutChar(CommandLead);
    std::exception_ptr error;
    try {
        port_.PutChar(ReadCommand);
        if (ReadBlock()) {
            ShowDialog();
        }
    } catch (...) {
        error = std::current_exception();
    }
    // What stopped the exchange is told first; the return to reception may fail in turn
    // (the analyser's device gone, its port no longer there), and that is told after it.
    if (failure_) {
        form_.Prompts().ShowError(*failure_);
    }
    if (error) {
        form_.ReportException(error);
    }
    Finish();
}

bool SettingsExchange::ReadBlock() {
    if (!WaitForAnswer(port_, options_.bounds)) {
        failure_ = ReadCommandUnansweredText;
        return false;
    }
    port_.GetChar(); // the answer ahead of the block
    for (std::size_t offset = 0; offset < SettingsBlockSize; ++offset) {
        if (!WaitForAnswer(port_, options_.bounds)) {
            failure_ = ReadStoppedText.arg(offset);
            return false;
        }
        block_[offset] = port_.GetChar();
    }
    return true;
}

bool SettingsExchange::WriteBlock(const SettingsBlock& block) {
    port_.PutChar(CommandLead);
    port_.PutChar(WriteCommand);
    for (std::size_t offset = 0; offset < SettingsBlockSize; ++offset) {
        port_.PutChar(block[offset]);
        if (!WaitForAnswer(port_, options_.bounds)) {
            failure_ = WriteStoppedText.arg(offset);
            return false;
        }
        port_.GetChar(); // the analyser's answer, not examined
    }
    return true;
}

void SettingsExchange::ShowDialog() {
    SetupActions actions;
    actions.beginSave = [this] { form_.ExchangeMode = 2; };
    actions.write = [this](const SettingsBlock& block) { return WriteBlock(block); };
    actions.report = [this](std::exception_ptr error) { form_.ReportException(error); };
    TFSetup dialog(block_, std::move(actions), &form_);
    if (options_.runDialog) {
        options_.runDialog(dialog);
    } else {
        dialog.exec();
    }
}

void SettingsExchange::Finish() {
    form_.ExchangeMode = 0;
    port_.SetOpen(false);
    QCoreApplication::processEvents();
    // The port opens on demand (AutoOpen); all triggers were removed, so this is its only one.
    port_.AddDataTrigger(ReceptionTrigger, false);
    port_.SetOpen(true);
}

} // namespace

bool WaitForAnswer(apd::TApdComPort& port, const SettingsBounds& bounds) {
    return WaitForWaitingBytes(port, 1, bounds.answer, bounds.pauses);
}

void RunSettingsExchange(TForm1& form, const SettingsExchangeOptions& options) {
    SettingsExchange(form, options).Run();
}

} // namespace vorsilan::app
