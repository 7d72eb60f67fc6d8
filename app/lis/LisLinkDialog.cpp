#include "app/lis/LisLinkDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vorsilan::lis {

namespace {

QLineEdit* AddEdit(QFormLayout* form, const QString& caption, const char* name,
                   const QString& text) {
    auto* edit = new QLineEdit(text);
    edit->setObjectName(QString::fromLatin1(name));
    form->addRow(caption, edit);
    return edit;
}

} // namespace

LisLinkDialog::LisLinkDialog(const LisSettings& initial, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("LisLinkDialog"));
    setWindowTitle(LisLinkTitle);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    Host = AddEdit(form, QStringLiteral("Адрес ЛИС:"), "Host", initial.host);
    Port = new QSpinBox;
    Port->setObjectName(QStringLiteral("Port"));
    Port->setRange(0, 65535);
    Port->setSpecialValueText(QStringLiteral("не задан"));
    Port->setValue(initial.port);
    form->addRow(QStringLiteral("Порт:"), Port);
    SendingApplication = AddEdit(form, QStringLiteral("Отправляющее приложение:"),
                                 "SendingApplication", initial.parties.sendingApplication);
    SendingFacility = AddEdit(form, QStringLiteral("Отправляющая организация:"), "SendingFacility",
                              initial.parties.sendingFacility);
    ReceivingApplication = AddEdit(form, QStringLiteral("Принимающее приложение:"),
                                   "ReceivingApplication", initial.parties.receivingApplication);
    ReceivingFacility = AddEdit(form, QStringLiteral("Принимающая организация:"),
                                "ReceivingFacility", initial.parties.receivingFacility);

    Check = new QPushButton(QStringLiteral("Проверить"));
    Check->setObjectName(QStringLiteral("Check"));
    CheckResult = new QLabel;
    CheckResult->setObjectName(QStringLiteral("CheckResult"));
    CheckResult->setWordWrap(true);
    form->addRow(Check, CheckResult);
    connect(Check, &QPushButton::clicked, this, [this] {
        CheckResult->setText(QStringLiteral("Проверка..."));
        Probe.Start(Host->text().trimmed(), static_cast<quint16>(Port->value()));
    });
    connect(&Probe, &ConnectionProbe::Finished, CheckResult,
            [this](ConnectionProbe::Outcome, const QString& text) { CheckResult->setText(text); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("&Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

LisSettings LisLinkDialog::Settings() const {
    LisSettings values;
    values.host = Host->text().trimmed();
    values.port = static_cast<quint16>(Port->value());
    values.parties = {SendingApplication->text(), SendingFacility->text(),
                      ReceivingApplication->text(), ReceivingFacility->text()};
    return values;
}

} // namespace vorsilan::lis
