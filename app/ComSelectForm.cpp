#include "app/ComSelectForm.h"

#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace vorsilan::app {

TComSelectForm::TComSelectForm(apd::PortAvailabilityProbe probe, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      probe_(std::move(probe)) {
    setObjectName(QStringLiteral("ComSelectForm"));
    setWindowTitle(SelectPortCaption);
    setFixedSize(220, 131);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 204, 45);
    Label1 = new QLabel(QStringLiteral("The configured serial port is not valid."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(14, 12, 194, 17);
    Label2 = new QLabel(QStringLiteral("Please choose another port."), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(14, 31, 194, 17);

    PortsComboBox = new QComboBox(this);
    PortsComboBox->setObjectName(QStringLiteral("PortsComboBox"));
    PortsComboBox->setEditable(false);
    PortsComboBox->setGeometry(8, 62, 204, 24);

    OkBtn = new QPushButton(QStringLiteral("OK"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    OkBtn->setGeometry(30, 98, 75, 25);
    OkBtn->setDefault(true);
    AbortBtn = new QPushButton(QStringLiteral("Cancel"), this);
    AbortBtn->setObjectName(QStringLiteral("AbortBtn"));
    AbortBtn->setGeometry(115, 98, 75, 25);
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(AbortBtn, &QPushButton::clicked, this, &QDialog::reject);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    FormCreate();
}

void TComSelectForm::FormCreate() {
    const apd::PortList list = apd::ListAvailablePorts(probe_);
    PortsComboBox->clear();
    for (const std::string& entry : list.entries) {
        PortsComboBox->addItem(QString::fromStdString(entry));
    }
    PortsComboBox->setCurrentIndex(list.itemIndex);
}

int TComSelectForm::SelectedPortNumber() const {
    return apd::EntryPortNumber(PortsComboBox->currentText().toStdString());
}

apd::PortSelectionPrompt ComSelectPrompt(apd::PortAvailabilityProbe probe) {
    return [probe = std::move(probe)](apd::TApdCustomComPort&) -> std::optional<int> {
        // Owned by the application, not by a window: the component may open from anywhere.
        TComSelectForm form(probe);
        if (form.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return form.SelectedPortNumber();
    };
}

} // namespace vorsilan::app
