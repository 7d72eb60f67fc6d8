#include "app/journal/ReceivedResultsDialog.h"

#include "app/ResultText.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vorsilan::app::journal {

namespace {

const char* const Headers[] = {"Время", "Номер", "Результат", "Порт", "В журнале"};

} // namespace

ReceivedResultsDialog::ReceivedResultsDialog(JournalStore& store,
                                             std::function<bool(qint64)> storeOne, QWidget* parent)
    : QDialog(parent), store_(store), storeOne_(std::move(storeOne)) {
    setObjectName(QStringLiteral("ReceivedResults"));
    setWindowTitle(QStringLiteral("Принятые результаты"));
    auto* layout = new QVBoxLayout(this);

    auto* dayRow = new QHBoxLayout;
    dayRow->addWidget(new QLabel(QStringLiteral("Дата:"), this));
    Day = new QDateEdit(QDate::currentDate(), this);
    Day->setCalendarPopup(true);
    dayRow->addWidget(Day);
    dayRow->addStretch(1);
    layout->addLayout(dayRow);

    Table = new QTableWidget(0, static_cast<int>(std::size(Headers)), this);
    QStringList headers;
    for (const char* header : Headers) {
        headers << QString::fromUtf8(header);
    }
    Table->setHorizontalHeaderLabels(headers);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setSelectionMode(QAbstractItemView::SingleSelection);
    Table->verticalHeader()->hide();
    Table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Table->setMinimumSize(520, 300);
    layout->addWidget(Table, 1);

    layout->addWidget(
        new QLabel(QStringLiteral("Результат запоминается со следующим номером, с пациентом и "
                                  "лаборантом, введёнными в главном окне."),
                   this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    StoreButton = buttons->addButton(QStringLiteral("&Запомнить"), QDialogButtonBox::ActionRole);
    layout->addWidget(buttons);

    connect(Day, &QDateEdit::dateChanged, this, &ReceivedResultsDialog::Reload);
    connect(Table, &QTableWidget::itemSelectionChanged, this,
            &ReceivedResultsDialog::SelectionChanged);
    connect(StoreButton, &QPushButton::clicked, this, &ReceivedResultsDialog::StoreSelected);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Reload();
}

void ReceivedResultsDialog::Reload() {
    const auto results = store_.ReceivedOn(Day->date());
    shown_ = results.value_or(std::vector<ReceivedResult>());
    Table->setRowCount(results ? static_cast<int>(shown_.size()) : 1);
    if (!results) {
        Table->setItem(0, 0, new QTableWidgetItem(store_.LastError()));
    }
    for (int row = 0; row < static_cast<int>(shown_.size()); ++row) {
        const ReceivedResult& result = shown_[static_cast<std::size_t>(row)];
        const DecodedRecord record = DecodeRecord(result.arrival.record);
        const QString cells[] = {ResultTimeText(result.arrival.at.toLocalTime().time()),
                                 QString::number(record.number),
                                 ResultLabelText(record.value, record.kind), result.arrival.port,
                                 result.inJournal ? QStringLiteral("да") : QString()};
        for (int c = 0; c < static_cast<int>(std::size(cells)); ++c) {
            Table->setItem(row, c, new QTableWidgetItem(cells[c]));
        }
    }
    SelectionChanged();
}

void ReceivedResultsDialog::SelectionChanged() {
    const int row = Table->currentRow();
    // A record already in the journal is not stored twice from here.
    StoreButton->setEnabled(row >= 0 && row < static_cast<int>(shown_.size()) &&
                            !shown_[static_cast<std::size_t>(row)].inJournal &&
                            !Table->selectedItems().isEmpty());
}

void ReceivedResultsDialog::StoreSelected() {
    const int row = Table->currentRow();
    if (!StoreButton->isEnabled() || row < 0 || row >= static_cast<int>(shown_.size())) {
        return;
    }
    const int keep = row;
    if (storeOne_(shown_[static_cast<std::size_t>(row)].id)) {
        Reload();
        Table->selectRow(keep);
    }
}

} // namespace vorsilan::app::journal
