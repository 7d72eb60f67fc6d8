#include "app/TestControl.h"

#include "app/Main.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QSocketNotifier>

#include <cstdio>

namespace vorsilan::app {

namespace {

void Tell(const QString& event) {
    std::fputs((event + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

// The window's questions answered from the options and the commands.
class ControlPrompts : public UserPrompts {
public:
    explicit ControlPrompts(bool restoreAnswer) : restoreAnswer_(restoreAnswer) {}
    std::optional<QString> AskSaveFileName(const QString&, const QString&) override {
        return std::exchange(saveName, std::nullopt);
    }
    OverwriteAnswer AskOverwrite(const QString&) override { return OverwriteAnswer::Yes; }
    bool AskYesNo(const QString& question) override {
        Tell(QStringLiteral("question ") + question);
        return restoreAnswer_;
    }
    void ShowError(const QString& text) override { Tell(QStringLiteral("error ") + text); }

    std::optional<QString> saveName;

private:
    bool restoreAnswer_;
};

// Reads standard input a line at a time as the event loop sees it ready.
class CommandReader : public QObject {
public:
    CommandReader(TForm1& form, ControlPrompts& prompts)
        : form_(form), prompts_(prompts), notifier_(0, QSocketNotifier::Read) {
        // The descriptor, not stdin: a FILE would read ahead into its own buffer, where the
        // notifier cannot see the commands waiting.
        input_.open(0, QIODevice::ReadOnly | QIODevice::Unbuffered);
        connect(&notifier_, &QSocketNotifier::activated, this, [this] { ReadLine(); });
    }

private:
    // A byte at a time up to the line end: a larger read would wait for more input. The
    // tests write each command in one piece.
    void ReadLine() {
        QByteArray line;
        char byte = 0;
        while (input_.read(&byte, 1) == 1) {
            if (byte == '\n') {
                Run(QString::fromUtf8(line));
                return;
            }
            line.append(byte);
        }
        notifier_.setEnabled(false);
        QApplication::quit();
    }

    void Run(const QString& line) {
        const QString command = line.section(QLatin1Char(' '), 0, 0);
        const QString argument = line.section(QLatin1Char(' '), 1);
        if (command == QStringLiteral("patient")) {
            form_.Edit1->setText(argument);
        } else if (command == QStringLiteral("technician")) {
            form_.Edit3->setText(argument);
        } else if (command == QStringLiteral("store")) {
            form_.Button1Click();
        } else if (command == QStringLiteral("report")) {
            prompts_.saveName = argument;
            form_.N1->trigger();
        } else if (command == QStringLiteral("quit")) {
            QApplication::quit();
        } else {
            Tell(QStringLiteral("error unknown command ") + line);
            return;
        }
        Tell(QStringLiteral("ok ") + command);
    }

    TForm1& form_;
    ControlPrompts& prompts_;
    QFile input_;
    QSocketNotifier notifier_;
};

} // namespace

std::optional<TestOptions> ParseTestOptions(const QStringList& arguments, QString* error) {
    TestOptions options;
    for (const QString& argument : arguments.mid(1)) {
        const QString value = argument.section(QLatin1Char('='), 1);
        if (argument == QStringLiteral("--control")) {
            options.control = true;
        } else if (argument.startsWith(QStringLiteral("--restore-answer="))) {
            if (value != QStringLiteral("yes") && value != QStringLiteral("no")) {
                *error = QStringLiteral("--restore-answer takes yes or no");
                return std::nullopt;
            }
            options.restoreAnswer = value == QStringLiteral("yes");
        } else if (argument.startsWith(QStringLiteral("--clock="))) {
            options.clock = QDateTime::fromString(value, Qt::ISODate);
            if (!options.clock->isValid()) {
                *error = QStringLiteral("--clock takes a local time as 2026-12-08T10:15:30");
                return std::nullopt;
            }
        }
    }
    return options;
}

int RunUnderControl(const TestOptions& options) {
    auto owned = std::make_unique<ControlPrompts>(options.restoreAnswer);
    ControlPrompts& prompts = *owned;
    TForm1 form(std::move(owned));
    if (options.clock) {
        form.Clock = [at = *options.clock] { return at; };
    }
    QObject::connect(&form, &TForm1::RecordReceived, [](const DecodedRecord& record) {
        Tell(QStringLiteral("received %1").arg(record.number));
    });
    QObject::connect(&form, &TForm1::ResultStored,
                     [](int number) { Tell(QStringLiteral("stored %1").arg(number)); });
    CommandReader reader(form, prompts);
    form.show();
    Tell(QStringLiteral("ready %1").arg(form.StoredCount));
    return QApplication::exec();
}

} // namespace vorsilan::app
