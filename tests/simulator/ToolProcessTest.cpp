// Runs the built vorsilan-sim as people and scripts do, every run bounded in time.

#include "tests/simulator/LineBytes.h"
#include "tests/simulator/PcEnd.h"
#include "tests/simulator/SimulatorFixture.h"

#include "tools/simulator/ExchangeProtocol.h"
#include "tools/simulator/ResultRecord.h"
#include "tools/simulator/Script.h"
#include "tools/simulator/SettingsBlock.h"
#include "vorsilan/ProjectVersion.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

extern char** environ;

namespace vorsilan::sim {
namespace {

using namespace std::chrono_literals;
using test::PcEnd;
using test::ScratchFolder;

const std::string kTool = VORSILAN_SIM_PATH;

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Exit status of a shell command run under a time limit.
int RunBounded(const std::string& arguments, const ScratchFolder& dir) {
    const std::string command = "timeout -k 5 30 " + kTool + " " + arguments + " >" +
                                dir.File("out.txt") + " 2>" + dir.File("err.txt");
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The tool running in the background, its standard output read line by line.
class RunningTool {
public:
    explicit RunningTool(std::vector<std::string> arguments) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe");
        }
        output_ = fds[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        arguments.insert(arguments.begin(), kTool);
        std::vector<char*> argv;
        for (auto& a : arguments) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, kTool.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0) {
            ::close(output_);
            throw std::runtime_error("posix_spawn");
        }
        // Readable once the process has ended, so that its end can be waited for in poll().
        exited_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    }
    ~RunningTool() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(output_);
        if (exited_ >= 0) {
            ::close(exited_);
        }
    }
    RunningTool(const RunningTool&) = delete;
    RunningTool& operator=(const RunningTool&) = delete;

    // Reads output until a line holding `text` has come; false at the end of the output or
    // after `within`.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds within = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + within;
        for (;;) {
            if (seen_.find(text) != std::string::npos) {
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{output_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                return false;
            }
            char buffer[512];
            const ssize_t n = ::read(output_, buffer, sizeof buffer);
            if (n <= 0) {
                return false;
            }
            seen_.append(buffer, static_cast<std::size_t>(n));
        }
    }
    // The exit status once the tool has ended on its own within `within`; -1 otherwise.
    int Wait(std::chrono::milliseconds within = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + within;
        WaitForOutput("\x01 never printed", within); // reads to the end of the output
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{exited_, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) != pid_) {
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Signal(int signal) const { ::kill(pid_, signal); }
    const std::string& Output() const { return seen_; }

private:
    pid_t pid_ = -1;
    int output_ = -1;
    int exited_ = -1;
    std::string seen_;
};

TEST(ToolProcess, HelpAndVersionSucceed) {
    ScratchFolder dir;
    EXPECT_EQ(RunBounded("--help", dir), 0);
    const std::string help = Slurp(dir.File("out.txt"));
    EXPECT_EQ(help.rfind("Usage: vorsilan-sim", 0), 0u);
    EXPECT_NE(help.find("record NUMBER VALUE KIND"), std::string::npos);
    EXPECT_EQ(RunBounded("--version", dir), 0);
    EXPECT_EQ(Slurp(dir.File("out.txt")),
              std::string("vorsilan-sim ") + vorsilan::ProjectVersion + "\n");
}

TEST(ToolProcess, BadArgumentsAndBadScriptsExitWithTwoAndSayWhy) {
    ScratchFolder dir;
    EXPECT_EQ(RunBounded("--port-dir " + dir.Path() + " --port 0", dir), 2);
    EXPECT_NE(Slurp(dir.File("err.txt")).find("vorsilan-sim: bad port number '0'"),
              std::string::npos);
    EXPECT_EQ(RunBounded("--what", dir), 2);
    EXPECT_NE(Slurp(dir.File("err.txt")).find("--help"), std::string::npos);

    std::ofstream(dir.File("bad.txt")) << "record 1 5.56 serum\nwait forever\nnoise\n";
    EXPECT_EQ(RunBounded("--port-dir " + dir.Path() + " -s " + dir.File("bad.txt"), dir), 2);
    const std::string errors = Slurp(dir.File("err.txt"));
    EXPECT_NE(errors.find("bad.txt:2: bad duration 'forever'"), std::string::npos) << errors;
    EXPECT_NE(errors.find("bad.txt:3: noise takes 1 argument, not 0"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("COM7"))); // never started

    EXPECT_EQ(RunBounded("--port-dir " + dir.Path() + " -s " + dir.File("none.txt"), dir), 1);
    EXPECT_EQ(RunBounded("--port-dir " + dir.Path() + " -b " + dir.File("bad.txt"), dir), 1);
    EXPECT_NE(Slurp(dir.File("err.txt")).find("not 256"), std::string::npos);
}

TEST(ToolProcess, SendsRecordsAnswersAReadAndSavesTheBlockAtExit) {
    ScratchFolder dir;
    SettingsBlock block = DefaultSettingsBlock();
    block[5] = 99;
    SaveSettingsBlock(dir.File("in.bin"), block);
    RunningTool tool({"--port-dir", dir.Path(), "--port", "4", "-x", "-b", dir.File("in.bin"), "-o",
                      dir.File("saved.bin"), "-e", "wait-read 20s", "-r", "12345:5.56:serum"});
    ASSERT_TRUE(tool.WaitForOutput("COM4 is ")) << tool.Output();
    PcEnd pc(dir.File("COM4"));
    ASSERT_TRUE(pc.Write({kCommandLead, kReadCommand}));
    const auto answer = pc.Read(1 + kSettingsBlockSize);
    ASSERT_EQ(answer.size(), 1 + kSettingsBlockSize);
    EXPECT_EQ(answer[0], 0x06);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), answer.begin() + 1));
    const auto record = pc.Read(kResultRecordSize);
    const ResultRecord expected = *EncodeResultRecord(12345, 556, SampleKind::Serum);
    EXPECT_EQ(record, std::vector<std::uint8_t>(expected.begin(), expected.end()));

    EXPECT_EQ(tool.Wait(), 0) << tool.Output();
    EXPECT_NE(tool.Output().find("sent record 12345 5.56 serum"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("COM4")));
    EXPECT_EQ(LoadSettingsBlock(dir.File("saved.bin")), block);
}

TEST(ToolProcess, IntervalSendsTheCountOfPlausibleRecordsWithRisingNumbers) {
    ScratchFolder dir;
    RunningTool tool({"--port-dir", dir.Path(), "-x", "-i", "5ms", "-n", "3", "--first-number",
                      "500", "--kind", "urine", "-e", "wait-read 20s", "--noise", "leading",
                      "--pieces", "2", "--gap", "1ms"});
    ASSERT_TRUE(tool.WaitForOutput("COM7 is ")) << tool.Output();
    PcEnd pc(dir.File("COM7"));
    ASSERT_TRUE(pc.Write({kCommandLead, kReadCommand}));
    ASSERT_EQ(pc.Read(1 + kSettingsBlockSize).size(), 1 + kSettingsBlockSize);
    // Everything up to the hang-up at the end: each record behind 1..40 noise bytes, which
    // hold no 0xAA, nor do these records but in their headers.
    const auto bytes = pc.Read(std::numeric_limits<std::size_t>::max(), 20s);
    const std::vector<std::size_t> headers = test::HeaderPositions(bytes);
    ASSERT_EQ(headers.size(), 3u);
    ASSERT_EQ(headers.back() + kResultRecordSize, bytes.size());
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t noiseFrom = i == 0 ? 0 : headers[i - 1] + kResultRecordSize;
        EXPECT_TRUE(headers[i] - noiseFrom >= 1 && headers[i] - noiseFrom <= 40) << i;
        const DecodedResult result = DecodeResultRecord(test::RecordAt(bytes, headers[i]));
        EXPECT_EQ(result.number, 500 + i);
        EXPECT_EQ(result.kind, 3);
        EXPECT_TRUE(result.value >= 1 && result.value <= 28) << result.value;
    }
    EXPECT_EQ(tool.Wait(), 0) << tool.Output();
}

TEST(ToolProcess, TerminationSignalEndsTheToolAndRemovesTheLink) {
    ScratchFolder dir;
    RunningTool tool({"--port-dir", dir.Path()});
    ASSERT_TRUE(tool.WaitForOutput("Ctrl-C ends")) << tool.Output();
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("COM7")));
    tool.Signal(SIGTERM);
    EXPECT_EQ(tool.Wait(), 0) << tool.Output();
    EXPECT_FALSE(std::filesystem::is_symlink(dir.File("COM7")));
}

TEST(ToolProcess, FailingCommandExitsWithOneAndSaysWhich) {
    ScratchFolder dir;
    EXPECT_EQ(RunBounded("--port-dir " + dir.Path() + " -e 'wait-write 50ms'", dir), 1);
    EXPECT_NE(Slurp(dir.File("err.txt"))
                  .find("command line: the PC did not write the settings block in time"),
              std::string::npos)
        << Slurp(dir.File("err.txt"));
    EXPECT_FALSE(std::filesystem::is_symlink(dir.File("COM7")));
}

TEST(ToolProcess, ShippedDemoScriptIsValid) {
    std::ifstream in(VORSILAN_SIM_DEMO_SCRIPT);
    ASSERT_TRUE(in);
    std::stringstream text;
    text << in.rdbuf();
    const ParsedScript script = ParseScript(text.str());
    EXPECT_TRUE(script.errors.empty())
        << script.errors.front().line << ": " << script.errors.front().message;
    EXPECT_GT(script.commands.size(), 10u);
}

} // namespace
} // namespace vorsilan::sim
