#pragma once
// "Настройки": the dialog that moves the analyser's connection to another serial port,
// COM1 ... COM15. OK closes the port, moves it, sets 115200 baud and opens it again with the
// record header 0xAA 0x55 as its only trigger; Cancel leaves the port alone. A port that
// cannot be opened keeps the dialog open, the port closed, and the error reported.

#include "comm/port/CustomComPort.h"

#include <QDialog>

#include <array>
#include <chrono>
#include <exception>
#include <functional>

class QButtonGroup;
class QLabel;
class QPushButton;
class QRadioButton;

namespace vorsilan::app {

inline constexpr int PortChoiceCount = 15;

// The text shown when a close begun during a notification does not complete.
inline const QString PortNotClosedText =
    QStringLiteral("Порт не закрылся: выбранный порт не открыт, повторите попытку");

using ErrorReport = std::function<void(std::exception_ptr error)>;

class TFSetup2 : public QDialog {
    Q_OBJECT
public:
    // `port` is the main window's port component; `report` is the application's error
    // report.
    TFSetup2(apd::TApdCustomComPort& port, ErrorReport report, QWidget* parent = nullptr);

    void Button2Click();
    void FormCreate();
    void Button1Click();

    // RadioButton1 ... RadioButton15; n from 1.
    QRadioButton* RadioButton(int n) const { return radioButtons_.at(std::size_t(n - 1)); }
    // The number of the checked button, 0 when none is checked.
    int CheckedPort() const;

    QLabel* Label1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

    // How long OK waits for a close that a notification in progress deferred.
    std::chrono::milliseconds closeBound{10000};

private:
    // Serves the thread's window messages until a deferred close has completed; false when
    // it did not within closeBound.
    bool WaitUntilClosed();

    apd::TApdCustomComPort& port_;
    ErrorReport report_;
    QButtonGroup* group_ = nullptr;
    std::array<QRadioButton*, PortChoiceCount> radioButtons_{};
};

} // namespace vorsilan::app
