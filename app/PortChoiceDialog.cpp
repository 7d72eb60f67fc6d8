#include "app/PortChoiceDialog.h"

#include "comm/platform/PumpOneMessage.h"

#include <QButtonGroup>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <stdexcept>
#include <string>
#include <thread>

namespace vorsilan::app {

namespace {

constexpr int ColumnX[3] = {24, 112, 200};
constexpr int FirstRowY = 36;
constexpr int RowStep = 24;
constexpr int RowsPerColumn = 5;

// The result record's header: the data trigger of normal reception.
const std::string RecordHeader("\xAA\x55", 2);

} // namespace

TFSetup2::TFSetup2(apd::TApdCustomComPort& port, ErrorReport report, QWidget* parent)
    : QDialog(parent), port_(port), report_(std::move(report)) {
    setObjectName(QStringLiteral("FSetup2"));
    setWindowTitle(QStringLiteral("Настройки"));
    setFixedSize(278, 203);

    Label1 = new QLabel(QStringLiteral("Выберите COM порт:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(16, 10, 246, 17);

    group_ = new QButtonGroup(this);
    group_->setExclusive(true);
    for (int i = 0; i < PortChoiceCount; ++i) {
        const int n = i + 1;
        auto* button = new QRadioButton(QStringLiteral("COM%1").arg(n), this);
        button->setObjectName(QStringLiteral("RadioButton%1").arg(n));
        button->setGeometry(ColumnX[i / RowsPerColumn], FirstRowY + RowStep * (i % RowsPerColumn),
                            70, 20);
        group_->addButton(button, n);
        radioButtons_[std::size_t(i)] = button;
    }

    Button1 = new QPushButton(QStringLiteral("&OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(16, 162, 90, 28);
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("&Отмена"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(172, 162, 90, 28);
    connect(Button1, &QPushButton::clicked, this, &TFSetup2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFSetup2::Button2Click);

    if (parent != nullptr) {
        const QRect owner = parent->frameGeometry();
        move(owner.center() - rect().center());
    }
    FormCreate();
}

void TFSetup2::FormCreate() {
    const int current = port_.ComNumber();
    if (current >= 1 && current <= PortChoiceCount) {
        RadioButton(current)->setChecked(true);
    }
}

int TFSetup2::CheckedPort() const {
    const int id = group_->checkedId();
    return id < 0 ? 0 : id;
}

void TFSetup2::Button2Click() {
    reject();
}

bool TFSetup2::WaitUntilClosed() {
    // A close begun while the dispatcher was delivering a notification completes once its
    // threads have ended, through a message to the component's window.
    const auto deadline = std::chrono::steady_clock::now() + closeBound;
    while (port_.PortState() == apd::psShuttingDown) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        apd::PumpOneMessage();
        if (port_.PortState() == apd::psShuttingDown) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return true;
}

void TFSetup2::Button1Click() {
    try {
        port_.SetOpen(false);
        if (!WaitUntilClosed()) {
            throw std::runtime_error(PortNotClosedText.toStdString());
        }
        // The close kept the port's triggers for the next open. Dropping them leaves the
        // header trigger registered below as the only one, and the avail threshold as the
        // component holds it.
        port_.DiscardSavedTriggers();
        if (const int n = CheckedPort(); n != 0) {
            port_.SetComNumber(static_cast<std::uint16_t>(n));
        }
        port_.SetBaud(115200);
        port_.AddDataTrigger(RecordHeader, false); // opens the port (AutoOpen)
        port_.SetOpen(true);
        // As at start: what waited on the line before the reopen is no record of this
        // session's, and would be taken for the start of the next one.
        port_.FlushInBuffer();
    } catch (...) {
        // The dialog stays open with the port closed; the user may choose another port.
        report_(std::current_exception());
        return;
    }
    accept();
}

} // namespace vorsilan::app
