// vorsilan-sim: the analyser simulator as a command-line tool; see HelpText().

#include "tools/simulator/AnalyserSimulator.h"
#include "tools/simulator/CommandLine.h"
#include "tools/simulator/PlausibleResults.h"
#include "tools/simulator/ScriptRunner.h"
#include "tools/simulator/StopSignal.h"
#include "vorsilan/ProjectVersion.h"

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

using namespace vorsilan::sim;

constexpr const char* kProgram = "vorsilan-sim";
// How long an orderly end waits for the PC to read what was sent.
constexpr auto kDrainTime = std::chrono::seconds(2);

// Lines to standard output, each with the time of day, from any thread.
class Printer {
public:
    explicit Printer(bool quiet) : quiet_(quiet) {}
    void Info(std::string_view line) {
        if (quiet_) {
            return;
        }
        std::lock_guard lock(mutex_);
        const auto now = std::chrono::system_clock::now();
        const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
        std::tm local{};
        ::localtime_r(&seconds, &local);
        char stamp[16];
        std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
        std::printf("%s.%03d %.*s\n", stamp, static_cast<int>(ms.count()),
                    static_cast<int>(line.size()), line.data());
        std::fflush(stdout);
    }
    void Error(std::string_view line) {
        std::lock_guard lock(mutex_);
        std::fprintf(stderr, "%s: %.*s\n", kProgram, static_cast<int>(line.size()), line.data());
    }

private:
    bool quiet_;
    std::mutex mutex_;
};

// Saves the block to the --save-block file; one save at a time from any thread.
class BlockSaver {
public:
    BlockSaver(std::string path, Printer& printer) : path_(std::move(path)), printer_(printer) {}
    bool Save(const SettingsBlock& block) {
        if (path_.empty()) {
            return true;
        }
        std::lock_guard lock(mutex_);
        try {
            SaveSettingsBlock(path_, block);
            printer_.Info("settings block saved to " + path_);
            return true;
        } catch (const std::exception& e) {
            printer_.Error(e.what());
            return false;
        }
    }

private:
    std::string path_;
    Printer& printer_;
    std::mutex mutex_;
};

bool ReadScript(const std::string& path, std::string& text, std::string& error) {
    if (path == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open script " + path;
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read script " + path;
        return false;
    }
    return true;
}

sigset_t HandledSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGUSR2); // ends the signal thread
    return set;
}

int Run(ToolOptions options) {
    Printer printer(options.quiet);

    if (!options.scriptPath.empty()) {
        std::string text;
        std::string error;
        if (!ReadScript(options.scriptPath, text, error)) {
            printer.Error(error);
            return kExitFailure;
        }
        ParsedScript script = ParseScript(text);
        if (!script.errors.empty()) {
            for (const ScriptError& e : script.errors) {
                printer.Error(options.scriptPath + ":" + std::to_string(e.line) + ": " + e.message);
            }
            return kExitUsage;
        }
        for (auto& command : script.commands) {
            options.commands.push_back(std::move(command));
        }
    }

    SimulatorOptions simOptions;
    simOptions.comNumber = options.comNumber;
    simOptions.portDir = options.portDir;
    simOptions.readAnswer = options.readAnswer;
    simOptions.writeAnswer = options.writeAnswer;
    simOptions.writeByteTimeout = options.writeTimeout;
    simOptions.pacingBaud = options.pacingBaud;
    simOptions.pieces = options.pieces;
    simOptions.pieceGap = options.pieceGap;
    simOptions.silent = options.silent;
    if (!options.blockPath.empty()) {
        try {
            simOptions.block = LoadSettingsBlock(options.blockPath);
        } catch (const std::exception& e) {
            printer.Error(e.what());
            return kExitFailure;
        }
    }
    BlockSaver saver(options.saveBlockPath, printer);
    simOptions.log = [&printer](std::string_view line) { printer.Info(line); };
    simOptions.blockWritten = [&saver](const SettingsBlock& block) { saver.Save(block); };

    // A reader of the output that goes away must not end the simulator before it has
    // removed its link.
    ::signal(SIGPIPE, SIG_IGN);
    // Signals go to one thread that waits for them; every other thread blocks them.
    const sigset_t signals = HandledSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::unique_ptr<AnalyserSimulator> simulator;
    try {
        simulator = std::make_unique<AnalyserSimulator>(std::move(simOptions));
    } catch (const std::exception& e) {
        printer.Error(std::string("cannot make the line: ") + e.what());
        return kExitFailure;
    }

    StopSignal stop;
    stop.OnRequest([&simulator] { simulator->WakeWaiters(); });
    std::thread signalThread([&] {
        for (;;) {
            int signal = 0;
            if (sigwait(&signals, &signal) != 0 || signal == SIGUSR2) {
                return;
            }
            if (signal == SIGUSR1) {
                saver.Save(simulator->Block());
                continue;
            }
            printer.Info("interrupted: stopping");
            stop.Request();
        }
    });

    const std::uint32_t seed =
        options.seed ? *options.seed
                     : static_cast<std::uint32_t>(
                           std::chrono::steady_clock::now().time_since_epoch().count());
    PlausibleResults results(seed, options.firstNumber, options.kinds);
    ScriptRunner runner(*simulator, results, stop,
                        [&printer](std::string_view line) { printer.Info(line); });
    runner.SetRecordNoise(options.noise);

    int status = kExitOk;
    ScriptResult outcome = runner.Run(options.commands);
    if (outcome.outcome == ScriptOutcome::Failed) {
        printer.Error(outcome.message);
        status = kExitFailure;
    }
    const bool goOn = outcome.outcome == ScriptOutcome::Completed;
    if (goOn && options.interval) {
        for (unsigned long sent = 0; !options.count || sent < *options.count; ++sent) {
            if (sent > 0 && stop.WaitFor(*options.interval)) {
                break;
            }
            // A full line (nobody reading the port) costs this record, not the run.
            runner.SendRecord(results.NextRecord());
        }
    }
    if (goOn && !options.exitWhenDone) {
        printer.Info("answering the settings exchanges on " + simulator->PortName() +
                     "; Ctrl-C ends");
        while (!stop.WaitFor(std::chrono::hours(1))) {
        }
    }

    // The signal thread uses the simulator: it ends first.
    pthread_kill(signalThread.native_handle(), SIGUSR2);
    signalThread.join();
    if (!saver.Save(simulator->Block()) && status == kExitOk) {
        status = kExitFailure;
    }
    if (outcome.outcome != ScriptOutcome::Vanished && !stop.Requested()) {
        // Closing the line would drop what the PC has not read yet.
        simulator->WaitUntilDrained(kDrainTime);
    }
    simulator.reset(); // closes the line and removes the link
    return status;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    CommandLineResult parsed = ParseCommandLine(arguments);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram,
                     parsed.error.c_str(), kProgram);
        return kExitUsage;
    }
    if (parsed.options.help) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitOk;
    }
    if (parsed.options.version) {
        std::printf("%s %s\n", kProgram, vorsilan::ProjectVersion);
        return kExitOk;
    }
    return Run(std::move(parsed.options));
}
