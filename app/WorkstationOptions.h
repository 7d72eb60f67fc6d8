#pragma once
// The workstation program's command line: --help and --version, answered before the window
// system is touched, and --log-records, a line on standard output for each record taken
// (what the package's test and a service engineer watch for). Qt's own options (-platform,
// -style ...) are taken by QApplication before the second parse.

#include <QString>
#include <QStringList>

namespace vorsilan::app {

struct WorkstationOptions {
    bool help = false;
    bool version = false;
    bool logRecords = false;
    QString error; // the first argument that is not an option of the program
};

// `arguments` without the program's name.
WorkstationOptions ParseWorkstationArguments(const QStringList& arguments);

QString WorkstationHelpText();
// "vorsilan-workstation 0.1.0": the installed program's name and the project's version.
QString WorkstationVersionLine();

} // namespace vorsilan::app
