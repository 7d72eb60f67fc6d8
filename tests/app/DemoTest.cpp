// The demo as a user runs it: the analyser simulator as its own process with the options
// the demo script gives it, the workstation's window receiving on COM7. Every record the
// simulator reports sent is shown, in order, and nothing else.

#include "tests/app/AppTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>

#include <vector>

using namespace vorsilan::app;

class DemoTest : public QObject {
    Q_OBJECT
private slots:
    void withoutADisplayTheDemoSaysSoBeforeBuilding() {
        // Stand-ins for what installs or builds: each notes that it ran, and fails.
        QTemporaryDir bin;
        for (const char* tool : {"cmake", "ninja", "apt-get", "sudo"}) {
            QFile stub(bin.filePath(tool));
            QVERIFY(stub.open(QIODevice::WriteOnly));
            stub.write(QStringLiteral("#!/bin/sh\necho %1 >> \"%2\"\nexit 1\n")
                           .arg(tool, bin.filePath("ran"))
                           .toUtf8());
            stub.close();
            QVERIFY(stub.setPermissions(QFile::ExeOwner | QFile::ReadOwner | QFile::WriteOwner));
        }
        QProcess script;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            environment.remove(name);
        }
        environment.insert("PATH", bin.path() + ":" + environment.value("PATH"));
        script.setProcessEnvironment(environment);
        script.start("bash", {DEMO_SCRIPT});
        QVERIFY(script.waitForFinished(3 * test::Within));
        QCOMPARE(script.exitCode(), 2);
        QVERIFY(QString::fromUtf8(script.readAllStandardError()).contains("xvfb-run -a"));
        QCOMPARE(test::ReadAll(bin.filePath("ran")), QByteArray("<unreadable>"));
    }

    void demoShowsEveryRecordItsSimulatorSends() {
        // The demo's own options, with results coming faster than a person would want.
        QProcess script;
        QProcessEnvironment scriptEnvironment = QProcessEnvironment::systemEnvironment();
        scriptEnvironment.insert("DEMO_INTERVAL", "500ms");
        script.setProcessEnvironment(scriptEnvironment);
        script.start("bash", {DEMO_SCRIPT, "--simulator-options"});
        QVERIFY(script.waitForFinished(test::Within));
        QCOMPARE(script.exitCode(), 0);
        const QStringList options =
            QString::fromUtf8(script.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QVERIFY(options.contains("--interval"));

        QProcess simulator;
        simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        simulator.start(VORSILAN_SIM_PATH, options);
        QVERIFY(simulator.waitForStarted(test::Within));
        const QString link = test::PortDirectory() + "/COM7";
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo(link).isSymLink(); }, test::Within));

        auto prompts = std::make_unique<test::ScriptedPrompts>();
        const test::ScriptedPrompts& seen = *prompts;
        TForm1 form(std::move(prompts));
        std::vector<int> shown;
        connect(&form, &TForm1::RecordReceived,
                [&](const DecodedRecord& record) { shown.push_back(record.number); });

        // "12:00:01.250 sent record 12 5.56 serum": a line per record on the simulator's output.
        const QRegularExpression sentLine(" sent record (\\d+) ");
        std::vector<int> sent;
        QString output;
        constexpr std::size_t Records = 10;
        const bool enough = QTest::qWaitFor(
            [&] {
                output += QString::fromUtf8(simulator.readAllStandardOutput());
                sent.clear();
                for (auto match = sentLine.globalMatch(output); match.hasNext();) {
                    sent.push_back(match.next().captured(1).toInt());
                }
                return sent.size() >= Records && shown.size() >= sent.size();
            },
            Records * 500 + 3 * test::Within);
        simulator.terminate();
        QVERIFY(simulator.waitForFinished(test::Within));
        QVERIFY2(enough, qPrintable(QString("%1 shown of\n%2").arg(shown.size()).arg(output)));
        sent.resize(shown.size());
        QCOMPARE(shown, sent);
        QVERIFY(seen.errors.isEmpty());
        QVERIFY(form.StatusBar->currentMessage() != IncompleteRecordText);
    }
};

APP_TEST_MAIN(DemoTest)
#include "DemoTest.moc"
