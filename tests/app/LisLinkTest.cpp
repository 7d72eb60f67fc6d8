// The LIS link through the window: off until set up (nothing queued, no database), the
// dialog "Связь с ЛИС" from "Настройка" with its check (connected, refused, timed out), and
// a stored result that reaches the stand-in LIS with the fields as typed, the status bar
// counting what waits and telling a refusal.

#include "tests/app/AppTestSupport.h"
#include "tests/app/ModalDialog.h"
#include "tests/support/hl7peer/Hl7Peer.h"

#include "app/lis/LisLinkDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QSqlDatabase>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

using namespace vorsilan::app;
using namespace std::chrono_literals;
using vorsilan::lis::test::Hl7Peer;

class LisLinkTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TForm1> form;

    void Open() {
        form =
            std::make_unique<TForm1>(std::make_unique<test::ScriptedPrompts>(), test::TestBounds(),
                                     nullptr, vorsilan::lis::SendTiming{2s, 5s, 20ms, 200ms});
    }
    void SetUpLink(quint16 port) {
        QSettings settings;
        vorsilan::lis::LisSettings values;
        values.host = QStringLiteral("127.0.0.1");
        values.port = port;
        vorsilan::lis::SaveLisSettings(settings, values);
    }
    // A result as reception leaves it, stored with the names typed.
    void StoreResult(const QString& patient, const QString& technician) {
        form->ResultValue = 556;
        form->SampleKind = 1;
        form->Edit2->setText(QStringLiteral("4711"));
        form->ResultArrival.at = QDateTime::currentDateTime();
        form->ResultPending = true;
        form->Edit1->setText(patient);
        form->Edit3->setText(technician);
        form->Button1Click();
    }
    // Whether the database file holds the LIS outbox's table.
    static bool HasOutbox() {
        bool found = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                        QStringLiteral("outbox-probe"));
            db.setDatabaseName(qEnvironmentVariable("VORSILAN_JOURNAL_DB"));
            if (db.open()) {
                found = db.tables().contains(QStringLiteral("lis_outbox"));
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("outbox-probe"));
        return found;
    }
    QString Waiting() const { return form->LisLabel->isVisible() ? form->LisLabel->text() : "-"; }

private slots:
    void cleanup() {
        test::CloseModalDialogs();
        form.reset();
        QSettings().clear();
        for (const char* end : {"", "-wal", "-shm"}) {
            QFile::remove(qEnvironmentVariable("VORSILAN_JOURNAL_DB") + QLatin1String(end));
        }
    }

    void setUpFromTheMenuWithACheck() {
        Open();
        form->show();
        StoreResult(QStringLiteral("Иванов"), QStringLiteral("Петрова"));
        QCOMPARE(form->StoredCount, 1);
        QVERIFY(!form->LisLabel->isVisibleTo(form.get()));
        QVERIFY2(!HasOutbox(), "the LIS outbox is made only once the link is set up");

        auto* setup = form->MainMenu1->findChild<QMenu*>(QStringLiteral("SetupMenu"));
        QVERIFY(setup && setup->title() == QStringLiteral("Настройка"));
        QVERIFY(setup->actions().contains(form->LisLinkItem));
        QVERIFY(setup->actions().contains(form->N4));
        QTcpServer listening;
        QVERIFY(listening.listen(QHostAddress::LocalHost));
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 closedPort = closed.serverPort();
        closed.close();
        QStringList checks;
        const auto outcome =
            test::OnModal<vorsilan::lis::LisLinkDialog>([&](vorsilan::lis::LisLinkDialog& dialog) {
                checks << dialog.windowTitle();
                dialog.Host->setText(QStringLiteral("127.0.0.1"));
                for (const quint16 port : {listening.serverPort(), closedPort}) {
                    dialog.Port->setValue(port);
                    dialog.Check->click();
                    if (QTest::qWaitFor([&] { return !dialog.CheckResult->text().endsWith("..."); },
                                        10000)) {
                        checks << dialog.CheckResult->text();
                    }
                }
                // A LIS whose listen queue is full leaves the connection unanswered.
                QTcpServer full;
                full.setListenBacklogSize(0);
                QTcpSocket filler;
                if (full.listen(QHostAddress::LocalHost)) {
                    full.pauseAccepting();
                    filler.connectToHost(QHostAddress::LocalHost, full.serverPort());
                    if (filler.waitForConnected(test::Within)) {
                        dialog.Probe.Start(QStringLiteral("127.0.0.1"), full.serverPort(), 300ms);
                        if (QTest::qWaitFor(
                                [&] { return dialog.CheckResult->text().startsWith("Время"); },
                                10000)) {
                            checks << dialog.CheckResult->text();
                        }
                    }
                }
                dialog.SendingFacility->setText(QStringLiteral("КДЛ"));
                dialog.accept();
            });
        form->LisLinkItem->trigger();
        QVERIFY(outcome->found);
        QCOMPARE(checks, (QStringList{"Связь с ЛИС", "Соединение установлено",
                                      "Соединение отклонено: на этом порту ЛИС не принимает",
                                      "Время ожидания истекло: ЛИС не ответила за 0,3 с"}));
        QSettings settings;
        QCOMPARE(settings.value("LIS/port").toInt(), closedPort);
        QCOMPARE(settings.value("LIS/sendingFacility").toString(), QStringLiteral("КДЛ"));
        // On from now on: results stored before are not sent afterwards.
        QTRY_COMPARE_WITH_TIMEOUT(Waiting().left(23), QStringLiteral("Ждут отправки в ЛИС: 0"),
                                  test::Within);
    }

    void storedResultReachesTheLis_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("status");
        QTest::newRow("accepted") << "AA"
                                  << "";
        QTest::newRow("refused") << "AE"
                                 << "ЛИС отклонила результат анализа № 4711 (AE): Нет пациента";
    }
    void storedResultReachesTheLis() {
        QFETCH(QString, mode);
        Hl7Peer peer({"--down-until-told", "--mode", mode, "--error-text", "Нет пациента"});
        QVERIFY(peer.Port() != 0);
        SetUpLink(peer.Port());
        Open();
        form->show();
        StoreResult(QStringLiteral("Сидоров | С.^С."), QStringLiteral("Петрова"));
        QTRY_VERIFY_WITH_TIMEOUT(
            Waiting().startsWith(QStringLiteral("Ждут отправки в ЛИС: 1 (нет "
                                                "связи: соединение отклонено")),
            test::Within);
        peer.BringUp();
        QTRY_COMPARE_WITH_TIMEOUT(Waiting(), QStringLiteral("Ждут отправки в ЛИС: 0"),
                                  test::Within);
        QCOMPARE(peer.Received().size(), 1);
        const QJsonObject m = peer.Received().front();
        QCOMPARE(Hl7Peer::Field(m, "PID", 5), QStringLiteral("Сидоров | С.^С."));
        QCOMPARE(Hl7Peer::Field(m, "OBR", 3), QStringLiteral("4711"));
        QCOMPARE(Hl7Peer::Field(m, "OBX", 5), QStringLiteral("5.56"));
        QCOMPARE(Hl7Peer::Field(m, "OBX", 16, 2), QStringLiteral("Петрова"));
        QTEST(form->StatusBar->currentMessage(), "status");
        QCOMPARE(form->Grid->Cells(1, 1), QStringLiteral("Сидоров | С.^С."));
    }
};

APP_TEST_MAIN(LisLinkTest)
#include "LisLinkTest.moc"
