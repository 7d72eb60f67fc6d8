#pragma once
// Runs script commands against a simulator, one after the other. Waits end early when a
// stop is requested.

#include "tools/simulator/AnalyserSimulator.h"
#include "tools/simulator/PlausibleResults.h"
#include "tools/simulator/Script.h"
#include "tools/simulator/StopSignal.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vorsilan::sim {

enum class ScriptOutcome {
    Completed, // every command ran
    Exit,      // an exit command
    Vanished,  // a vanish command
    Stopped,   // a stop was requested
    Failed,    // a command failed: see the message
};

struct ScriptResult {
    ScriptOutcome outcome = ScriptOutcome::Completed;
    std::string message;
};

class ScriptRunner {
public:
    ScriptRunner(AnalyserSimulator& simulator, PlausibleResults& results, const StopSignal& stop,
                 std::function<void(std::string_view)> log = {});

    ScriptResult Run(const std::vector<ScriptCommand>& commands);
    // Runs one command; Completed when the script may go on.
    ScriptResult Execute(const ScriptCommand& command);

    // The noise class of the records sent from now on (a noise-class command sets it too).
    void SetRecordNoise(NoiseClass noise) { noise_ = noise; }
    // A record in the current noise class, its noise drawn from the plausible results'
    // random numbers; false when the line is gone or full.
    bool SendRecord(const ResultRecord& record);

private:
    ScriptResult Send(const ScriptCommand& command, std::span<const std::uint8_t> bytes,
                      const std::string& what);
    ScriptResult WaitForExchange(const ScriptCommand& command, bool write);
    ResultRecord RecordOf(const ScriptCommand& command);
    void Log(const std::string& line) const;

    AnalyserSimulator& simulator_;
    PlausibleResults& results_;
    const StopSignal& stop_;
    std::function<void(std::string_view)> log_;
    NoiseClass noise_ = NoiseClass::None;
    // The exchanges earlier wait-read and wait-write commands have seen, so that each waits
    // for one exchange more, even when it happened before the command was reached.
    std::size_t readsSeen_ = 0;
    std::size_t writesSeen_ = 0;
};

} // namespace vorsilan::sim
