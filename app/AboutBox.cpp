#include "app/AboutBox.h"

#include "vorsilan/ProjectVersion.h"

#include <QMessageBox>

namespace vorsilan::app {

QString AboutText() {
    return QStringLiteral("Автоматический анализатор глюкозы \"Ворсилан\"\n"
                          "Рабочее место, версия %1\n"
                          "Qt %2")
        .arg(QLatin1String(ProjectVersion), QLatin1String(qVersion()));
}

void ShowAboutBox(QWidget* parent) {
    QMessageBox::about(parent, AboutTitle, AboutText());
}

} // namespace vorsilan::app
