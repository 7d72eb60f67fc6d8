#include "tools/simulator/ScriptRunner.h"

#include "tools/simulator/FaultyRecords.h"

#include <stdexcept>

namespace vorsilan::sim {
namespace {

// Commands from the command line carry line 0.
std::string LinePrefix(const ScriptCommand& command) {
    return command.line == 0 ? std::string("command line: ")
                             : "line " + std::to_string(command.line) + ": ";
}

ScriptResult Failure(const ScriptCommand& command, const std::string& message) {
    return {ScriptOutcome::Failed, LinePrefix(command) + message};
}

} // namespace

ScriptRunner::ScriptRunner(AnalyserSimulator& simulator, PlausibleResults& results,
                           const StopSignal& stop, std::function<void(std::string_view)> log)
    : simulator_(simulator), results_(results), stop_(stop), log_(std::move(log)) {}

ScriptResult ScriptRunner::Run(const std::vector<ScriptCommand>& commands) {
    for (const ScriptCommand& command : commands) {
        if (stop_.Requested()) {
            return {ScriptOutcome::Stopped, {}};
        }
        ScriptResult result = Execute(command);
        if (result.outcome != ScriptOutcome::Completed) {
            return result;
        }
    }
    return {ScriptOutcome::Completed, {}};
}

ResultRecord ScriptRunner::RecordOf(const ScriptCommand& command) {
    return command.fields ? EncodeRawResultRecord(*command.fields) : results_.NextRecord();
}

bool ScriptRunner::SendRecord(const ResultRecord& record) {
    return simulator_.SendRecord(record, noise_, results_.Random());
}

ScriptResult ScriptRunner::Send(const ScriptCommand& command, std::span<const std::uint8_t> bytes,
                                const std::string& what) {
    if (!simulator_.SendBytes(bytes)) {
        return Failure(command, "could not send " + what + ": the line is gone or nobody reads it");
    }
    Log("sent " + what);
    return {};
}

ScriptResult ScriptRunner::WaitForExchange(const ScriptCommand& command, bool write) {
    std::size_t& seen = write ? writesSeen_ : readsSeen_;
    const std::size_t wanted = seen + 1;
    const char* what = write ? "write" : "read";
    Log(std::string("waiting for the PC to ") + what + " the settings block");
    const bool happened = simulator_.WaitUntil(
        [&](const SimulatorCounters& c) {
            return (write ? c.blockWrites : c.blockReads) >= wanted || stop_.Requested();
        },
        command.duration);
    if (stop_.Requested()) {
        return {ScriptOutcome::Stopped, {}};
    }
    if (!happened) {
        return Failure(command,
                       std::string("the PC did not ") + what + " the settings block in time");
    }
    seen = wanted;
    return {};
}

ScriptResult ScriptRunner::Execute(const ScriptCommand& command) {
    using Kind = ScriptCommand::Kind;
    switch (command.kind) {
    case Kind::Record: {
        const ResultRecord record = RecordOf(command);
        if (!SendRecord(record)) {
            return Failure(command, "could not send the record: the line is gone or full");
        }
        return {};
    }
    case Kind::Random:
        for (std::size_t i = 0; i < command.count; ++i) {
            if (i > 0 && stop_.WaitFor(command.duration)) {
                return {ScriptOutcome::Stopped, {}};
            }
            if (!SendRecord(results_.NextRecord())) {
                return Failure(command, "could not send the record: the line is gone or full");
            }
        }
        return {};
    case Kind::Raw:
        return Send(command, command.bytes, std::to_string(command.bytes.size()) + " raw bytes");
    case Kind::Noise: {
        const auto noise = NoiseBytes(command.count, results_.Random());
        return Send(command, noise, std::to_string(command.count) + " noise bytes");
    }
    case Kind::Truncated: {
        const ResultRecord record = RecordOf(command);
        return Send(command, std::span(record).first(command.count),
                    "a record cut after " + std::to_string(command.count) + " bytes");
    }
    case Kind::InnerHeader: {
        const ResultRecord record = WithHeaderInside(RecordOf(command));
        return Send(command, record, "a record with a header inside");
    }
    case Kind::Wait:
        if (stop_.WaitFor(command.duration)) {
            return {ScriptOutcome::Stopped, {}};
        }
        return {};
    case Kind::WaitRead:
        return WaitForExchange(command, false);
    case Kind::WaitWrite:
        return WaitForExchange(command, true);
    case Kind::Silent:
        simulator_.SetSilent(command.on);
        return {};
    case Kind::Pace:
        simulator_.SetPacing(command.baud);
        Log(command.baud == 0 ? std::string("pacing off: each send in one write")
                              : "pacing at " + std::to_string(command.baud) + " baud");
        return {};
    case Kind::Pieces:
        simulator_.SetPieces(command.count, command.duration);
        Log("sending in " + std::to_string(command.count) +
            (command.count == 1
                 ? " piece"
                 : " pieces, " + std::to_string(command.duration.count()) + " ms apart"));
        return {};
    case Kind::RecordNoise:
        noise_ = command.noise;
        Log("records in " + std::string(NoiseClassName(command.noise)) + " noise");
        return {};
    case Kind::LoadBlock:
        try {
            simulator_.SetBlock(LoadSettingsBlock(command.path));
            Log("settings block loaded from " + command.path);
        } catch (const std::exception& e) {
            return Failure(command, e.what());
        }
        return {};
    case Kind::SaveBlock:
        try {
            SaveSettingsBlock(command.path, simulator_.Block());
            Log("settings block saved to " + command.path);
        } catch (const std::exception& e) {
            return Failure(command, e.what());
        }
        return {};
    case Kind::Vanish:
        simulator_.Vanish();
        return {ScriptOutcome::Vanished, {}};
    case Kind::Exit:
        return {ScriptOutcome::Exit, {}};
    }
    return {};
}

void ScriptRunner::Log(const std::string& line) const {
    if (log_) {
        log_(line);
    }
}

} // namespace vorsilan::sim
