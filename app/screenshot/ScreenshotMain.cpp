// Renders the main window with a few stored results into a PNG, for the README: the
// simulator plays the analyser in-process on COM7, the window receives and stores three
// results, and the window is grabbed. With a second name, the engineering dialog is grabbed
// too, as it shows the simulator's settings block. Runs on the offscreen platform; no
// display needed.
//
//   vorsilan-screenshot OUTPUT.png [SETTINGS.png]

#include "app/Main.h"
#include "app/SetupDialog.h"
#include "tools/simulator/AnalyserSimulator.h"

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: vorsilan-screenshot OUTPUT.png [SETTINGS.png]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LANG", "ru_RU.UTF-8");
    QTemporaryDir ports;
    qputenv("VORSILAN_PORT_DIR", ports.path().toLocal8Bit());
    // A journal of its own, never the user's.
    qputenv("VORSILAN_JOURNAL_DB", ports.filePath("journal.sqlite").toLocal8Bit());
    QApplication application(argc, argv);

    vorsilan::sim::SimulatorOptions options;
    options.comNumber = 7;
    options.portDir = ports.path().toStdString();
    vorsilan::sim::AnalyserSimulator analyser(options);
    vorsilan::app::TForm1 form;
    form.show();

    struct Sample {
        std::uint16_t number;
        unsigned value;
        vorsilan::sim::SampleKind kind;
        const char* patient;
    };
    const Sample samples[] = {{1021, 556, vorsilan::sim::SampleKind::Serum, "Иванов И.И."},
                              {1022, 472, vorsilan::sim::SampleKind::WholeBlood, "Смирнова О.П."},
                              {1023, 123, vorsilan::sim::SampleKind::Urine, "Кузнецов А.В."}};
    form.Edit3->setText(QStringLiteral("Петрова А.С."));
    for (const Sample& sample : samples) {
        analyser.SendRecord(
            *vorsilan::sim::EncodeResultRecord(sample.number, sample.value, sample.kind));
        const QString number = QString::number(sample.number);
        if (!QTest::qWaitFor([&] { return form.Edit2->text() == number; }, 8000)) {
            std::fprintf(stderr, "vorsilan-screenshot: result %u did not arrive\n", sample.number);
            return 1;
        }
        form.Edit1->setText(QString::fromUtf8(sample.patient));
        form.Button1Click();
    }
    if (!form.grab().save(QString::fromLocal8Bit(argv[1]))) {
        return 1;
    }
    if (argc == 3) {
        bool saved = false;
        form.SettingsOptions.runDialog = [&](vorsilan::app::TFSetup& dialog) {
            dialog.show();
            saved = dialog.grab().save(QString::fromLocal8Bit(argv[2]));
            dialog.reject();
        };
        form.N3Click();
        if (!saved) {
            std::fprintf(stderr, "vorsilan-screenshot: the settings dialog was not saved\n");
            return 1;
        }
    }
    return 0;
}
