#pragma once
// "Принятые результаты": every record received on a day (today at first), whether stored or
// not, and a button that stores the chosen one into the journal after the fact. Storing is
// the window's: it numbers the row and takes the patient and the technician as typed in the
// window.

#include "app/journal/JournalStore.h"

#include <QDialog>

#include <functional>

class QDateEdit;
class QPushButton;
class QTableWidget;

namespace vorsilan::app::journal {

class ReceivedResultsDialog : public QDialog {
public:
    // `storeOne` stores a received record by its id; false when it did not.
    ReceivedResultsDialog(JournalStore& store, std::function<bool(qint64)> storeOne,
                          QWidget* parent = nullptr);

    // Lists the chosen day again.
    void Reload();
    // Stores the selected record.
    void StoreSelected();

    QDateEdit* Day = nullptr;
    QTableWidget* Table = nullptr;
    QPushButton* StoreButton = nullptr;

private:
    void SelectionChanged();

    JournalStore& store_;
    std::function<bool(qint64)> storeOne_;
    std::vector<ReceivedResult> shown_;
};

} // namespace vorsilan::app::journal
