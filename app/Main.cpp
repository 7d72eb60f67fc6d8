#include "app/Main.h"

#include "app/AboutBox.h"
#include "app/ComSelectForm.h"
#include "app/PortChoiceDialog.h"
#include "app/ResultText.h"
#include "app/ValueText.h"
#include "app/journal/JournalDatabase.h"
#include "app/journal/ReceivedResultsDialog.h"
#include "app/lis/DatabaseConnection.h"
#include "app/lis/LisLinkDialog.h"
#include "app/lis/SocketErrorText.h"
#include "comm/port/ApplicationExceptions.h"
#include "comm/threads/ThreadedDispatcher.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QFont>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

namespace vorsilan::app {

namespace {

constexpr int GridColumns = 9;
constexpr int GridRows = 100;
constexpr int GridRowHeight = 18;
constexpr std::uint16_t LargestStoredCount = 65535;

struct ColumnSpec {
    const char* header;
    int width;
};
const ColumnSpec Columns[GridColumns] = {{"N п/п", 40},
                                         {"Ф.И.О. пациента", 148},
                                         {"Номер", 52},
                                         {"Сыворотка", 71},
                                         {"Кровь", 73},
                                         {"Моча", 70},
                                         {"Дата анализа", 90},
                                         {"Время анализа", 89},
                                         {"Ф.И.О. лаборанта", 127}};

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y,
                  bool bold = false) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(x, y);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
        label->setMinimumWidth(140);
    }
    label->adjustSize();
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& text, int x, int y,
                    int width) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(x, y, width, 22);
    return edit;
}

} // namespace

QString RestoreQuestion(std::size_t count) {
    return QStringLiteral("Восстановить %1 результатов, не записанных в отчет?").arg(count);
}

TForm1::TForm1(std::unique_ptr<UserPrompts> prompts, ReceiveBounds bounds, QWidget* parent,
               lis::SendTiming lisTiming)
    : QMainWindow(parent), prompts_(std::move(prompts)), bounds_(bounds),
      lis_(
          [] {
              return std::make_unique<lis::DatabaseConnection>(QStringLiteral("vorsilan-lis"),
                                                               journal::DatabasePath());
          },
          lisTiming),
      CPort(std::make_unique<apd::TApdComPort>()) {
    if (!prompts_) {
        prompts_ = std::make_unique<DialogPrompts>(this);
    }
    apd::SetApplicationExceptionHandler(
        [this](std::exception_ptr error) { ReportException(std::move(error)); });
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Автоматический анализатор глюкозы \"Ворсилан\""));
    resize(800, 520);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    BuildMenu();
    BuildControls();
    ConnectLis();
    ConfigureLis();

    CPort->SetName("CPort");
    CPort->SetPortSelectionPrompt(ComSelectPrompt());
    CPort->SetOnPortOpen([this](apd::TApdCustomComPort&) { PortOpened(); });
    CPort->SetOnTriggerData(
        [this](apd::TApdCustomComPort& cp, std::uint16_t handle) { CPortTriggerData(cp, handle); });
    connect(&lineTimer_, &QTimer::timeout, this,
            [this] { GuardedCall(errorReport_, [this] { CheckLine(); }); });
    lineTimer_.start(250);
    GuardedCall(errorReport_, [this] { FormCreate(); });
}

TForm1::~TForm1() {
    lineTimer_.stop();
    CPort.reset();
    apd::SetApplicationExceptionHandler({});
}

void TForm1::BuildMenu() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    auto addItem = [this](const char* name, const QString& caption, bool visible) {
        auto* item = new QAction(caption, this);
        item->setObjectName(QString::fromLatin1(name));
        item->setVisible(visible);
        MainMenu1->addAction(item);
        return item;
    };
    N1 = addItem("N1", QStringLiteral("&Файл"), true);
    N5 = addItem("N5", QStringLiteral("Принятые результаты"), true);
    // "Настройка" holds the analyser's port and the LIS link.
    QMenu* setup = MainMenu1->addMenu(QStringLiteral("Настройка"));
    setup->setObjectName(QStringLiteral("SetupMenu"));
    N4 = setup->addAction(QStringLiteral("Порт анализатора..."));
    N4->setObjectName(QStringLiteral("N4"));
    LisLinkItem = setup->addAction(lis::LisLinkTitle + QStringLiteral("..."));
    LisLinkItem->setObjectName(QStringLiteral("LisLinkItem"));
    N3 = addItem("N3", QStringLiteral("Инженерное меню"), false);
    N2 = addItem("N2", QStringLiteral("&Помощь"), false);
    AboutItem = addItem("AboutItem", AboutTitle, true);
    connect(N1, &QAction::triggered, this,
            [this] { GuardedCall(errorReport_, [this] { N1Click(); }); });
    connect(N4, &QAction::triggered, this,
            [this] { GuardedCall(errorReport_, [this] { N4Click(); }); });
    connect(N3, &QAction::triggered, this,
            [this] { GuardedCall(errorReport_, [this] { N3Click(); }); });
    connect(LisLinkItem, &QAction::triggered, this,
            [this] { GuardedCall(errorReport_, [this] { LisLinkClick(); }); });
    connect(N5, &QAction::triggered, this,
            [this] { GuardedCall(errorReport_, [this] { N5Click(); }); });
    connect(AboutItem, &QAction::triggered, this, [this] { ShowAboutBox(this); });
    // Service staff reveal the engineering menu with Ctrl+Alt+Shift+E.
    auto* chord = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+Shift+E")), this);
    connect(chord, &QShortcut::activated, this, &TForm1::RevealEngineeringMenu);
}

void TForm1::BuildControls() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel1 = new QWidget(central);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(84);
    Label1 = MakeLabel(Panel1, "Label1", QStringLiteral("Ф.И.О. пациента:"), 8, 8);
    Label2 = MakeLabel(Panel1, "Label2", QStringLiteral("Номер анализа:"), 8, 34);
    Label3 = MakeLabel(Panel1, "Label3", QStringLiteral("Ф.И.О. лаборанта:"), 8, 60);
    Edit1 = MakeEdit(Panel1, "Edit1", QString(), 128, 4, 190);
    Edit2 = MakeEdit(Panel1, "Edit2", QStringLiteral("0"), 128, 30, 80);
    Edit3 = MakeEdit(Panel1, "Edit3", QString(), 128, 56, 190);
    Label4 = MakeLabel(Panel1, "Label4", QStringLiteral("Результат анализа:"), 332, 8);
    Label5 = MakeLabel(Panel1, "Label5", QStringLiteral("Дата анализа:"), 332, 34);
    Label6 = MakeLabel(Panel1, "Label6", QStringLiteral("Время анализа:"), 332, 60);
    Label7 = MakeLabel(Panel1, "Label7", QString(), 460, 8, true);
    Label8 = MakeLabel(Panel1, "Label8", QString(), 460, 34, true);
    Label9 = MakeLabel(Panel1, "Label9", QString(), 460, 60, true);
    Button1 = new QPushButton(QStringLiteral("&Запомнить"), Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(800 - 209 - 4, 1, 209, 81);
    connect(Button1, &QPushButton::clicked, this,
            [this] { GuardedCall(errorReport_, [this] { Button1Click(); }); });
    layout->addWidget(Panel1);

    Grid = new TStringGrid(GridColumns, GridRows, central);
    Grid->setObjectName(QStringLiteral("Grid"));
    Grid->SetRowHeight(GridRowHeight);
    for (int c = 0; c < GridColumns; ++c) {
        Grid->setColumnWidth(c, Columns[c].width);
    }
    layout->addWidget(Grid, 1);
    setCentralWidget(central);

    StatusBar = statusBar();
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    LisLabel = new QLabel(StatusBar);
    LisLabel->setObjectName(QStringLiteral("LisLabel"));
    LisLabel->setVisible(false);
    StatusBar->addPermanentWidget(LisLabel);
    StoredLabel = new QLabel(StatusBar);
    StoredLabel->setObjectName(QStringLiteral("StoredLabel"));
    StatusBar->addPermanentWidget(StoredLabel);
}

void TForm1::ReportException(std::exception_ptr error) {
    if (IsDeviceLoss(error)) {
        // A device that went away is a state of the line, told in the status bar.
        ShowLinkLost();
        return;
    }
    prompts_->ShowError(QString::fromStdString(apd::ExceptionMessage(error)));
}

void TForm1::ShowStatus(const QString& text) {
    StatusBar->showMessage(text);
}

void TForm1::ShowStoredCount() {
    StoredLabel->setText(StoredText + QString::number(StoredCount));
}

QString TForm1::PortName() const {
    return QStringLiteral("COM%1").arg(CPort->ComNumber());
}

void TForm1::RevealEngineeringMenu() {
    N3->setVisible(true);
}

// ---- Start ------------------------------------------------------------------------------

void TForm1::FormCreate() {
    ExchangeMode = 0;
    StoredCount = 0;
    ResultPending = false;
    ShowStoredCount();
    // The journal's header row is written whether or not the port opens, so that a window
    // that starts without a port still shows a complete journal.
    for (int c = 0; c < GridColumns; ++c) {
        Grid->SetCells(c, 0, QString::fromUtf8(Columns[c].header));
    }
    OfferRestore();
    CPort->SetComNumber(7);
    CPort->SetBaud(115200);
    // Records are found by their header alone: no "bytes available" notifications, each of
    // which would hold the dispatcher until the window had answered it.
    CPort->SetTriggerLength(0);
    CPort->AddDataTrigger(std::string("\xAA\x55", 2), false); // opens the port (AutoOpen)
    CPort->SetOpen(true);
    CPort->FlushInBuffer();
}

// ---- Journal and report -------------------------------------------------------------------

void TForm1::OfferRestore() {
    const auto rows = store_->Unreported();
    if (!rows) {
        prompts_->ShowError(JournalUnavailableText + store_->LastError());
        return;
    }
    if (rows->empty()) {
        return;
    }
    if (!prompts_->AskYesNo(RestoreQuestion(rows->size()))) {
        std::vector<qint64> ids;
        for (const journal::StoredRow& stored : *rows) {
            ids.push_back(stored.id);
        }
        if (!store_->MarkDeclined(ids)) {
            prompts_->ShowError(JournalUnavailableText + store_->LastError());
        }
        return;
    }
    for (const journal::StoredRow& stored : *rows) {
        // The counter goes on after the highest number brought back.
        StoredCount = std::max(StoredCount, static_cast<std::uint16_t>(stored.number));
        ShowRow(stored.number, stored.row, stored.id);
    }
    ShowStoredCount();
}

void TForm1::ShowRow(int number, const JournalRow& row, qint64 id) {
    journal_.push_back(row);
    journalIds_.push_back(id);
    // A row's place in the grid is its place in the journal; beyond the grid's rows it is
    // not shown.
    const int gridRow = static_cast<int>(journal_.size());
    const QString cells[GridColumns] = {QString::number(number),
                                        row.patient,
                                        row.number,
                                        row.serum,
                                        row.blood,
                                        row.urine,
                                        row.date,
                                        row.time,
                                        row.technician};
    for (int c = 0; c < GridColumns; ++c) {
        Grid->SetCells(c, gridRow, cells[c]);
    }
}

bool TForm1::StoreRow(const JournalRow& row, const journal::Arrival& arrival,
                      std::optional<qint64> receivedId) {
    if (StoredCount == LargestStoredCount) {
        ShowStatus(JournalFullText);
        return false;
    }
    const int number = StoredCount + 1;
    const std::optional<qint64> id = store_->AddRow(number, row, arrival, receivedId);
    if (!id) {
        prompts_->ShowError(StoreFailedText + store_->LastError());
        return false;
    }
    StoredCount = static_cast<std::uint16_t>(number);
    ShowRow(number, row, *id);
    ShowStoredCount();
    emit ResultStored(number);
    return true;
}

void TForm1::Button1Click() {
    if (!ResultPending) {
        return;
    }
    JournalRow row;
    row.patient = Edit1->text();
    row.number = Edit2->text();
    SetValueColumn(row, ResultValue, SampleKind);
    row.date = ResultDate;
    row.time = ResultTime;
    row.technician = Edit3->text();
    // A row that could not be committed stays pending, to be stored again; a full journal
    // takes nothing more.
    const bool stored = StoreRow(row, ResultArrival, ResultReceivedId);
    if (stored) {
        QueueStoredForLis(row, ResultArrival.at, ResultValue, SampleKind);
    }
    if (stored || StoredCount == LargestStoredCount) {
        ResultPending = false;
    }
}

bool TForm1::StoreReceived(qint64 receivedId) {
    const std::optional<journal::ReceivedResult> received = store_->Received(receivedId);
    if (!received) {
        prompts_->ShowError(StoreFailedText + store_->LastError());
        return false;
    }
    const DecodedRecord record = DecodeRecord(received->arrival.record);
    JournalRow row;
    row.patient = Edit1->text();
    row.number = QString::number(record.number);
    SetValueColumn(row, record.value, record.kind);
    const QDateTime at = received->arrival.at.toLocalTime();
    row.date = ResultDateText(at.date());
    row.time = ResultTimeText(at.time());
    row.technician = Edit3->text();
    if (!StoreRow(row, received->arrival, receivedId)) {
        return false;
    }
    QueueStoredForLis(row, received->arrival.at, record.value, record.kind);
    return true;
}

void TForm1::QueueStoredForLis(const JournalRow& row, const QDateTime& arrival, std::uint16_t value,
                               std::uint16_t kind) {
    // The value is value / divisor mmol/L exactly; a result of an unknown kind is not sent.
    const std::uint32_t divisor = kind == 3 ? 10 : (kind == 1 || kind == 2 ? 100 : 0);
    if (divisor == 0) {
        return;
    }
    QueueForLis({row.patient, row.number,
                 arrival.isValid() ? arrival : QDateTime::currentDateTime(), value, divisor,
                 static_cast<lis::SampleKind>(kind), row.technician});
}

void TForm1::N1Click() {
    SaveDialogFilter = ReportFilter;
    const std::optional<QString> chosen =
        prompts_->AskSaveFileName(SaveDialogFilter, SaveDialogFileName);
    if (!chosen) {
        return;
    }
    const QString path = *chosen + QStringLiteral(".txt");
    SaveDialogFileName = path;
    if (QFileInfo::exists(path) &&
        prompts_->AskOverwrite(OverwriteQuestion) != OverwriteAnswer::Yes) {
        return;
    }
    const bool replaced = WriteReportFile(path, journal_);
    if (!store_->MarkReported(journalIds_)) {
        prompts_->ShowError(MarkReportedFailedText + store_->LastError());
    }
    if (replaced) {
        ShowStatus(ReplacedCharactersText);
    }
}

void TForm1::N5Click() {
    journal::ReceivedResultsDialog dialog(
        *store_, [this](qint64 id) { return StoreReceived(id); }, this);
    dialog.exec();
}

void TForm1::N3Click() {
    RunSettingsExchange(*this, SettingsOptions);
}

void TForm1::N4Click() {
    TFSetup2 dialog(
        *CPort, [this](std::exception_ptr error) { ReportException(std::move(error)); }, this);
    dialog.exec();
    ExchangeMode = 0;
}

// ---- The LIS link -------------------------------------------------------------------------

void TForm1::ConnectLis() {
    connect(&lis_, &lis::LisExport::WaitingChanged, this, &TForm1::ShowLisWaiting);
    connect(&lis_, &lis::LisExport::Delivered, this, [this] { lisProblem_.clear(); });
    connect(&lis_, &lis::LisExport::AttemptFailed, this,
            [this](const QString& reason, qint64 pauseMs) {
                lisProblem_ =
                    LisRetryText.arg(reason, lis::SecondsText(std::chrono::milliseconds(pauseMs)));
                ShowLisWaiting(lis_.WaitingCount());
            });
    connect(&lis_, &lis::LisExport::Refused, this,
            [this](const QString& number, const QString& code, const QString& reason) {
                lisProblem_.clear();
                ShowStatus(LisRefusedText.arg(number, code, reason));
            });
    connect(&lis_, &lis::LisExport::OutboxFailed, this,
            [this](const QString& controlId) { ShowStatus(LisOutboxFailedText.arg(controlId)); });
}

void TForm1::ConfigureLis() {
    QSettings settings;
    QString error;
    lisProblem_.clear();
    if (!lis_.Configure(lis::WithEnvironmentOverrides(lis::LoadLisSettings(settings)), error)) {
        ShowStatus(LisOffText.arg(error));
    }
    ShowLisWaiting(lis_.WaitingCount());
}

void TForm1::QueueForLis(const lis::StoredResult& result) {
    QString error;
    if (lis_.Queue(result, error) == lis::LisExport::Queued::Failed) {
        ShowStatus(LisQueueFailedText.arg(error));
    }
}

void TForm1::ShowLisWaiting(int count) {
    LisLabel->setVisible(lis_.IsOn());
    LisLabel->setText(
        LisWaitingText + QString::number(count) +
        (lisProblem_.isEmpty() ? QString() : QStringLiteral(" (") + lisProblem_ + u')'));
}

void TForm1::LisLinkClick() {
    QSettings settings;
    lis::LisLinkDialog dialog(lis::LoadLisSettings(settings), this);
    if (dialog.exec() == QDialog::Accepted) {
        lis::SaveLisSettings(settings, dialog.Settings());
        ConfigureLis();
    }
}

} // namespace vorsilan::app
