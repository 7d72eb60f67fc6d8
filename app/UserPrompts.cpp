#include "app/UserPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace vorsilan::app {

QString QtNameFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList descriptions;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        descriptions << parts[i];
    }
    return descriptions.join(QStringLiteral(";;"));
}

std::optional<QString> DialogPrompts::AskSaveFileName(const QString& filter,
                                                      const QString& startName) {
    // No overwrite prompt of its own: the window asks its own question.
    const QString name =
        QFileDialog::getSaveFileName(parent_, QString(), startName, QtNameFilter(filter), nullptr,
                                     QFileDialog::DontConfirmOverwrite);
    if (name.isEmpty()) {
        return std::nullopt;
    }
    return name;
}

OverwriteAnswer DialogPrompts::AskOverwrite(const QString& question) {
    const auto answer = QMessageBox::question(
        parent_, QApplication::applicationName(), question,
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Yes) {
        return OverwriteAnswer::Yes;
    }
    return answer == QMessageBox::No ? OverwriteAnswer::No : OverwriteAnswer::Cancel;
}

bool DialogPrompts::AskYesNo(const QString& question) {
    return QMessageBox::question(parent_, QApplication::applicationName(), question,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

void DialogPrompts::ShowError(const QString& text) {
    QMessageBox::critical(parent_, QApplication::applicationName(), text);
}

} // namespace vorsilan::app
