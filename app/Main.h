#pragma once
// The main window: the result the analyser sent last, the journal of stored results and the
// menu that leads to the text report, the port choice and the engineering menu. It owns the
// serial port component CPort and receives the analyser's result records through the
// component's data trigger on the record header 0xAA 0x55.

#include "app/GuardedCall.h"
#include "app/MessagePump.h"
#include "app/PortWait.h"
#include "app/ReportFile.h"
#include "app/ResultRecordDecoding.h"
#include "app/SettingsExchange.h"
#include "app/StringGrid.h"
#include "app/UserPrompts.h"
#include "app/journal/JournalStore.h"
#include "app/lis/LisExport.h"
#include "comm/port/ComPort.h"

#include <QDateTime>
#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QStatusBar;
class QWidget;

namespace vorsilan::app {

// How long the reception of a record waits for the bytes it still owes: their line time at
// the port's speed and framing plus this margin, which covers a record that comes in pieces
// with gaps between them, a USB adapter's latency timer and a busy machine. Bytes reach the
// receive buffer while the window handles a record, so a wait ends as soon as they are there.
struct ReceiveBounds {
    std::chrono::milliseconds margin{1000};
    PollPauses pauses;
};

// Status-bar texts.
inline const QString StoredText = QStringLiteral("Записано результатов: ");
inline const QString IncompleteRecordText =
    QStringLiteral("Запись результата пришла не полностью: принятые байты сброшены");
inline const QString ReceptionStoppedText =
    QStringLiteral("Порт закрыт: приём записи результата прерван");
inline const QString LinkLostText = QStringLiteral("Связь с анализатором потеряна");
inline const QString RingFullText =
    QStringLiteral("Приёмный буфер переполнен посторонними данными: буфер очищен");
inline const QString JournalFullText =
    QStringLiteral("Журнал заполнен: сохранить больше 65535 результатов нельзя");
inline const QString ReplacedCharactersText =
    QStringLiteral("Отчёт записан; символы, которых нет в кодировке Windows-1251, "
                   "заменены знаком \"?\"");
inline const QString StoreFailedText =
    QStringLiteral("Результат НЕ записан в журнал, сохраните его ещё раз или запишите "
                   "вручную. Причина: ");
inline const QString ReceivedNotKeptText =
    QStringLiteral("Принятый результат не сохранён в базе: ");
inline const QString JournalUnavailableText = QStringLiteral("Журнал результатов недоступен: ");
inline const QString MarkReportedFailedText =
    QStringLiteral("Отчёт записан, но отметка о нём в журнале не сохранена: ");
// "Восстановить N результатов, не записанных в отчет?"
QString RestoreQuestion(std::size_t count);
inline const QString OverwriteQuestion = QStringLiteral("Указанный файл уже существует");
inline const QString LisWaitingText = QStringLiteral("Ждут отправки в ЛИС: ");
inline const QString LisRefusedText =
    QStringLiteral("ЛИС отклонила результат анализа № %1 (%2): %3");
inline const QString LisQueueFailedText =
    QStringLiteral("Результат не поставлен в очередь ЛИС: %1");
inline const QString LisRetryText = QStringLiteral("нет связи: %1; повтор через %2 с");
inline const QString LisOutboxFailedText =
    QStringLiteral("Очередь ЛИС не записала ответ на сообщение %1: отправка остановлена");
inline const QString LisOffText = QStringLiteral("Связь с ЛИС выключена: %1");
inline const QString ReportFilter = QStringLiteral("Text files (*.txt)|*.txt|All files (*.*)|*.*");

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window and runs FormCreate. Without prompts the real dialogs are used.
    explicit TForm1(std::unique_ptr<UserPrompts> prompts = nullptr,
                    ReceiveBounds bounds = ReceiveBounds(), QWidget* parent = nullptr,
                    lis::SendTiming lisTiming = lis::SendTiming());
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // ---- Handlers ---------------------------------------------------------------------
    void FormCreate();
    void CPortTriggerData(apd::TApdCustomComPort& CP, std::uint16_t TriggerHandle);
    void Button1Click();
    void N3Click();
    void N1Click();
    void N4Click();
    // "Настройка" -> "Связь с ЛИС": the LIS link's settings, kept with QSettings.
    void LisLinkClick();
    // "Принятые результаты": the records received on a day, any of them stored afterwards.
    void N5Click();

    // Stores a received record as the next journal row, with the patient and technician
    // as typed in the window and the analysis number of the record. False (the technician
    // told why) when it is not stored.
    bool StoreReceived(qint64 receivedId);

    // Looks at the port: a device that has gone away, a ring filled with data that never
    // made a record. Runs from a timer; a test may call it directly.
    void CheckLine();

    // Shows the engineering menu item (the service staff's key chord).
    void RevealEngineeringMenu();

signals:
    // Each record taken in normal reception, after the window shows it (a record of an
    // unknown sample kind too).
    void RecordReceived(const vorsilan::app::DecodedRecord& record);
    // A journal row committed and shown, with its number.
    void ResultStored(int number);

public:
    // ---- State --------------------------------------------------------------------------
    std::uint16_t ExchangeMode = 0;
    bool ResultPending = false;
    std::uint16_t StoredCount = 0;
    std::uint16_t ResultValue = 0;
    std::uint16_t SampleKind = 0;
    QString ResultDate;
    QString ResultTime;
    // The shown result as it came off the line, and its row among the received ones
    // (nothing when it could not be kept).
    journal::Arrival ResultArrival;
    std::optional<qint64> ResultReceivedId;

    // The time of arrival given to each record; a test may fix it.
    std::function<QDateTime()> Clock = [] { return QDateTime::currentDateTime(); };

    // Every stored row, also those beyond the grid's 99 visible rows.
    const std::vector<JournalRow>& Journal() const { return journal_; }
    // The durable journal behind it.
    journal::JournalStore& Store() { return *store_; }

    // The save dialog's remembered file name and filter.
    QString SaveDialogFileName;
    QString SaveDialogFilter;

    // ---- Controls -------------------------------------------------------------------------
    QWidget* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QPushButton* Button1 = nullptr;
    TStringGrid* Grid = nullptr;
    QStatusBar* StatusBar = nullptr;
    // The stored count, a permanent widget of the status bar: temporary notices and the
    // menus' status tips go beside it and never hide it.
    QLabel* StoredLabel = nullptr;
    // How many stored results wait for the LIS; shown while the LIS link is set up.
    QLabel* LisLabel = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;
    QAction* N4 = nullptr;
    QAction* LisLinkItem = nullptr;
    QAction* N5 = nullptr;
    QAction* AboutItem = nullptr; // "О программе": the version box

    apd::TApdComPort& Port() { return *CPort; }
    lis::LisExport& LisLink() { return lis_; }
    UserPrompts& Prompts() { return *prompts_; }

    // The engineering exchange's bounds and how it shows its dialog.
    SettingsExchangeOptions SettingsOptions;

    // The application's default error report.
    void ReportException(std::exception_ptr error);

private:
    void BuildControls();
    void BuildMenu();

    // Waits until `count` more bytes wait unread, bounded by their line time and the margin.
    bool WaitForBytes(std::uint32_t count);
    // Normal reception: takes every record waiting, oldest first, waiting for the rest of
    // each record that has begun; noise and broken records are dropped on the way.
    void ReceiveRecords();
    void ShowRecord(const DecodedRecord& record);
    // Modes 1 and 2: a notification while the settings block is exchanged.
    void ReceiveExchangeByte();
    // Takes every byte waiting in the receive buffer, leaving the driver's queue alone.
    void DiscardWaitingBytes();
    void ShowStatus(const QString& text);
    // The loss notice, once per loss of the device.
    void ShowLinkLost();
    // A port (re)opened: a loss of its device is a new loss, and an old notice is stale.
    void PortOpened();
    void ShowStoredCount();
    void ConnectLis();
    // Switches the LIS export to the settings kept and this run's environment.
    void ConfigureLis();
    // Hands a stored result to the LIS export.
    void QueueForLis(const lis::StoredResult& result);
    // A row just committed, to the LIS, with the value and kind of its record.
    void QueueStoredForLis(const JournalRow& row, const QDateTime& arrival, std::uint16_t value,
                           std::uint16_t kind);
    void ShowLisWaiting(int count);
    // "COM7": the port the records come from.
    QString PortName() const;
    // At start: offers back the rows of earlier runs that no report holds.
    void OfferRestore();
    // Commits a row as the next number, then shows it; false (told) when the commit failed.
    bool StoreRow(const JournalRow& row, const journal::Arrival& arrival,
                  std::optional<qint64> receivedId);
    void ShowRow(int number, const JournalRow& row, qint64 id);

    std::unique_ptr<UserPrompts> prompts_;
    // Where the handlers that controls and the line timer call report an exception.
    const ErrorReport errorReport_ = [this](std::exception_ptr error) {
        ReportException(std::move(error));
    };
    ReceiveBounds bounds_;
    std::vector<JournalRow> journal_;
    // The database rows of journal_, in the same order.
    std::vector<qint64> journalIds_;
    std::unique_ptr<journal::JournalStore> store_ = std::make_unique<journal::JournalStore>();
    bool lossShown_ = false;
    bool inNotification_ = false;
    QTimer lineTimer_;
    lis::LisExport lis_;
    // The last failed try of the LIS link, shown beside the waiting count until one succeeds.
    QString lisProblem_;
    // Declared before the port: the wake hook outlives every message the port sends.
    MessagePump pump_;
    std::unique_ptr<apd::TApdComPort> CPort;
};

} // namespace vorsilan::app
