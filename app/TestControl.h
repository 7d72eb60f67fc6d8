#pragma once
// The workstation driven by its own tests, as a process: `Project --control` reads commands
// from standard input, one a line, and writes what happens to standard output, one event a
// line, so that a test can store results, write a report and kill the program at a known
// point. Nothing else uses it; without --control the other two options have no effect, and a
// malformed option ends the program with exit status 2.
//
// Options:  --control                  commands on standard input
//           --restore-answer=yes|no    the answer to the restore question at start (no)
//           --clock=2026-12-08T10:15:30  every record arrives at this local time
// Commands: patient TEXT | technician TEXT | store | report BASE (writes BASE.txt) | quit
// Events:   ready N (N results in the journal after the start) | received NUMBER |
//           stored N | ok COMMAND (the command is done) | question TEXT | error TEXT
// The program ends on "quit" or at the end of its input.

#include <QDateTime>
#include <QStringList>

#include <optional>

namespace vorsilan::app {

struct TestOptions {
    bool control = false;
    bool restoreAnswer = false;
    std::optional<QDateTime> clock;
};

// Nothing when an option is malformed; *error says which.
std::optional<TestOptions> ParseTestOptions(const QStringList& arguments, QString* error);

// Runs the main window under the control of standard input; the exit code.
int RunUnderControl(const TestOptions& options);

} // namespace vorsilan::app
