// The workstation program: the main window on the GUI thread's event loop. The options of
// TestControl.h are for the program's own tests.

#include "app/Main.h"
#include "app/TestControl.h"
#include "app/WorkstationOptions.h"
#include "vorsilan/ProjectVersion.h"

#include <QApplication>

#include <cstdio>

namespace {

QStringList ArgumentsAfterTheName(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

void Print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char* argv[]) {
    using namespace vorsilan::app;
    // Answered before QApplication, which needs a display: `--version` works over ssh too.
    const WorkstationOptions early = ParseWorkstationArguments(ArgumentsAfterTheName(argc, argv));
    if (early.help) {
        Print(stdout, WorkstationHelpText());
        return 0;
    }
    if (early.version) {
        Print(stdout, WorkstationVersionLine() + QLatin1Char('\n'));
        return 0;
    }

    QApplication application(argc, argv); // takes Qt's own options out of the arguments
    QApplication::setOrganizationName(
        QStringLiteral("Vorsilan")); // where QSettings keeps the LIS link
    QApplication::setApplicationName(QStringLiteral("Project"));
    QApplication::setApplicationVersion(QLatin1String(vorsilan::ProjectVersion));
    const WorkstationOptions options = ParseWorkstationArguments(QApplication::arguments().mid(1));
    QString error = options.error;
    const auto testOptions = ParseTestOptions(QApplication::arguments(), &error);
    if (!error.isEmpty() || !testOptions) {
        Print(stderr, QStringLiteral("vorsilan-workstation: %1\n"
                                     "Try 'vorsilan-workstation --help' for more information.\n")
                          .arg(error));
        return 2;
    }
    if (testOptions->control) {
        return RunUnderControl(*testOptions);
    }
    TForm1 form;
    if (options.logRecords) {
        QObject::connect(&form, &TForm1::RecordReceived, [](const DecodedRecord& record) {
            Print(stdout, QStringLiteral("received record %1 kind %2 value %3\n")
                              .arg(record.number)
                              .arg(record.kind)
                              .arg(record.value));
        });
    }
    form.show();
    return QApplication::exec();
}
