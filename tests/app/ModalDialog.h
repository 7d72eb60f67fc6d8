#pragma once
// Acting on a modal dialog from inside its own event loop: a timer looks for the active
// modal widget of the wanted class and hands it to the action once it is shown. The look is
// bounded; a dialog that never appears is recorded, and a dialog still open afterwards can be
// closed so that a failing test cannot hang in exec().

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

namespace vorsilan::app::test {

struct ModalOutcome {
    bool found = false;
};

// Schedules `action` for the next modal dialog of class T. Returns what happened, filled in
// once the timer has fired.
template <typename T>
std::shared_ptr<ModalOutcome> OnModal(std::function<void(T&)> action, int withinMs = 5000) {
    auto outcome = std::make_shared<ModalOutcome>();
    auto* timer = new QTimer(qApp);
    auto remaining = std::make_shared<int>(withinMs / 10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, outcome, remaining, action] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
            dialog != nullptr && dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            outcome->found = true;
            QPointer<T> guard(dialog);
            action(*dialog);
            return;
        }
        if (--*remaining <= 0) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
    return outcome;
}

// Rejects whatever modal dialog is still open (a safety net after a failed step).
inline void CloseModalDialogs() {
    while (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        dialog->reject();
        QApplication::processEvents();
    }
}

} // namespace vorsilan::app::test
