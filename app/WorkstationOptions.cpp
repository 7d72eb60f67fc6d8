#include "app/WorkstationOptions.h"

#include "vorsilan/ProjectVersion.h"

namespace vorsilan::app {

namespace {
bool IsTestOption(const QString& argument) {
    return argument == QLatin1String("--control") ||
           argument.startsWith(QLatin1String("--restore-answer=")) ||
           argument.startsWith(QLatin1String("--clock="));
}
} // namespace

WorkstationOptions ParseWorkstationArguments(const QStringList& arguments) {
    WorkstationOptions options;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.help = true;
        } else if (argument == QLatin1String("--version")) {
            options.version = true;
        } else if (argument == QLatin1String("--log-records")) {
            options.logRecords = true;
        } else if (IsTestOption(argument)) {
            // the program's own tests drive it with these (TestControl.h)
        } else if (options.error.isEmpty()) {
            options.error = QStringLiteral("unknown argument '%1'").arg(argument);
        }
    }
    return options;
}

QString WorkstationHelpText() {
    return QStringLiteral(
        "Usage: vorsilan-workstation [OPTION]...\n"
        "The workstation of the \"Vorsilan\" glucose analyser: receives its results on COM7\n"
        "(115200 baud), shows them, keeps a journal and writes it as a text report.\n"
        "\n"
        "  --log-records   print a line to standard output for each record received\n"
        "  --help          print this text and end\n"
        "  --version       print the version and end\n"
        "\n"
        "Qt's options (-platform NAME, -style NAME ...) are accepted too.\n");
}

QString WorkstationVersionLine() {
    return QStringLiteral("vorsilan-workstation %1").arg(QLatin1String(ProjectVersion));
}

} // namespace vorsilan::app
