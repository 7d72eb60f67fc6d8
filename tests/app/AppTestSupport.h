#pragma once
// Support for the workstation's tests: a Qt Test main that fixes the environment (offscreen
// platform, a Russian locale so the decimal separator is ",", a private port directory,
// scratch settings and journal database), prompts a test answers, a temporary directory, the
// analyser simulator on a COM port of that directory, and the bounds of reception in the tests.

#include "app/Main.h"
#include "app/UserPrompts.h"
#include "tools/simulator/AnalyserSimulator.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <deque>
#include <optional>

namespace vorsilan::app::test {

// Answers the window's questions from queues and records every error report.
class ScriptedPrompts : public UserPrompts {
public:
    std::optional<QString> AskSaveFileName(const QString& filter,
                                           const QString& startName) override {
        filters << filter;
        startNames << startName;
        if (saveAnswers.empty()) {
            return std::nullopt;
        }
        const QString answer = saveAnswers.front();
        saveAnswers.pop_front();
        if (answer.isEmpty()) {
            return std::nullopt;
        }
        return answer;
    }
    OverwriteAnswer AskOverwrite(const QString& question) override {
        questions << question;
        return overwriteAnswer;
    }
    bool AskYesNo(const QString& question) override {
        yesNoQuestions << question;
        return yesAnswer;
    }
    void ShowError(const QString& text) override { errors << text; }

    std::deque<QString> saveAnswers; // an empty name: the user cancels
    OverwriteAnswer overwriteAnswer = OverwriteAnswer::No;
    bool yesAnswer = false;
    QStringList filters;
    QStringList startNames;
    QStringList questions;
    QStringList yesNoQuestions;
    QStringList errors;
};

// The directory the port names resolve in for the whole test process.
inline QString& PortDirectory() {
    static QString directory;
    return directory;
}

// The bound in milliseconds for anything that involves one record's handling.
constexpr int Within = 8000;

// A short margin so that the give-up cases of the dialogs' tests do not take the production
// second; it still exceeds what a record on a pseudo-terminal needs many times over.
inline ReceiveBounds TestBounds() {
    using namespace std::chrono_literals;
    ReceiveBounds bounds;
    bounds.margin = 300ms;
    return bounds;
}

// The simulator's options for an analyser on COM`comNumber` of the port directory. Each send
// goes out in one write, not at line speed: the window waits for the rest of a record inside
// the notification of its header, where nothing new reaches the receive buffer, so a record
// paced at line speed can be lost; and the settings exchange, which polls for each byte with
// growing pauses, would make these tests several times slower.
inline vorsilan::sim::SimulatorOptions SimulatorOnCom(unsigned comNumber) {
    vorsilan::sim::SimulatorOptions options;
    options.comNumber = comNumber;
    options.portDir = PortDirectory().toStdString();
    return options;
}

// The whole content of a file, or "<unreadable>".
inline QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return "<unreadable>";
    }
    return file.readAll();
}

} // namespace vorsilan::app::test

// A main that runs one Qt Test class with the environment fixed first.
#define APP_TEST_MAIN(TestClass)                                                                   \
    int main(int argc, char* argv[]) {                                                             \
        qputenv("QT_QPA_PLATFORM", "offscreen");                                                   \
        qputenv("LANG", "ru_RU.UTF-8");                                                            \
        qputenv("LC_ALL", "ru_RU.UTF-8");                                                          \
        QTemporaryDir ports;                                                                       \
        qputenv("VORSILAN_PORT_DIR", ports.path().toLocal8Bit());                                  \
        qputenv("VORSILAN_JOURNAL_DB", ports.filePath("journal.sqlite").toLocal8Bit());            \
        vorsilan::app::test::PortDirectory() = ports.path();                                       \
        /* Settings and the database in scratch places; the LIS link is off until a test */        \
        /* sets it up. */                                                                          \
        QTemporaryDir appData;                                                                     \
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, appData.path());         \
        QStandardPaths::setTestModeEnabled(true);                                                  \
        qunsetenv("VORSILAN_LIS_HOST");                                                            \
        qunsetenv("VORSILAN_LIS_PORT");                                                            \
        QApplication application(argc, argv);                                                      \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
