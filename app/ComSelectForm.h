#pragma once
// "Select Port": the dialog the port component shows when a port is to be opened and no port
// number is configured. It lists the serial ports that exist on the machine (also those
// another program holds) and hands the chosen number back.

#include "comm/port/CustomComPort.h"
#include "comm/port/PortSelection.h"

#include <QDialog>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace vorsilan::app {

inline const QString SelectPortCaption = QStringLiteral("Select Port");

class TComSelectForm : public QDialog {
    Q_OBJECT
public:
    // Builds the dialog and fills the list with the ports `probe` finds.
    explicit TComSelectForm(apd::PortAvailabilityProbe probe = apd::IsPortAvailable,
                            QWidget* parent = nullptr);

    void FormCreate();
    // The number of the selected entry; apd::EConvertError when the list is empty.
    int SelectedPortNumber() const;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QFrame* Bevel1 = nullptr;
    QComboBox* PortsComboBox = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* AbortBtn = nullptr;

private:
    apd::PortAvailabilityProbe probe_;
};

// The port component's selection prompt: shows TComSelectForm modally and gives the chosen
// number on OK, nothing on Cancel or close. OK on an empty list raises apd::EConvertError.
apd::PortSelectionPrompt ComSelectPrompt(apd::PortAvailabilityProbe probe = apd::IsPortAvailable);

} // namespace vorsilan::app
