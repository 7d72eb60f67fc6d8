// The workstation program: the main window on the GUI thread's event loop. The options of
// TestControl.h are for the program's own tests.

#include "app/Main.h"
#include "app/TestControl.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Project"));
    QString error;
    const auto options = vorsilan::app::ParseTestOptions(QApplication::arguments(), &error);
    if (!options) {
        std::fprintf(stderr, "Project: %s\n", error.toUtf8().constData());
        return 2;
    }
    if (options->control) {
        return vorsilan::app::RunUnderControl(*options);
    }
    vorsilan::app::TForm1 form;
    form.show();
    return QApplication::exec();
}
