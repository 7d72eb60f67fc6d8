#pragma once
// The dialog "Связь с ЛИС": the LIS's host and port, the sending and receiving applications
// and facilities, and a "Проверить" button that opens a TCP connection to the host and port
// as typed and says what happened.

#include "app/lis/ConnectionProbe.h"
#include "app/lis/LisSettings.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vorsilan::lis {

inline const QString LisLinkTitle = QStringLiteral("Связь с ЛИС");

class LisLinkDialog : public QDialog {
    Q_OBJECT
public:
    LisLinkDialog(const LisSettings& initial, QWidget* parent = nullptr);

    // The settings as the dialog holds them.
    LisSettings Settings() const;

    QLineEdit* Host = nullptr;
    QSpinBox* Port = nullptr;
    QLineEdit* SendingApplication = nullptr;
    QLineEdit* SendingFacility = nullptr;
    QLineEdit* ReceivingApplication = nullptr;
    QLineEdit* ReceivingFacility = nullptr;
    QPushButton* Check = nullptr;
    // What the last check found.
    QLabel* CheckResult = nullptr;
    ConnectionProbe Probe;
};

} // namespace vorsilan::lis
