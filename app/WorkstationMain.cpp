// The workstation program: the main window on the GUI thread's event loop.

#include "app/Main.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vorsilan"));
    QApplication::setApplicationName(QStringLiteral("Project"));
    vorsilan::app::TForm1 form;
    form.show();
    return QApplication::exec();
}
