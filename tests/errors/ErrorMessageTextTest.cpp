#include "comm/errors/ErrorMessageText.h"

#include "comm/errors/SystemMessage.h"
#include "comm/errors/Utf8Text.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

namespace apd {
namespace {

TEST(ErrorMessageText, TakesTheMagnitudeOfTheCode) {
    EXPECT_EQ(ErrorMessageText(-3007), "Buffer is empty");
    EXPECT_EQ(ErrorMessageText(3007), "Buffer is empty");
    EXPECT_EQ(ErrorMessageText(0), "OK");
    EXPECT_EQ(ErrorMessageText(15003), "Trigger");
    EXPECT_EQ(ErrorMessageText(15608), "DCD ");
}

TEST(ErrorMessageText, FallsBackToTheCleanedSystemMessage) {
    // 87 is in no group of the table but the operating system has a message for it.
    const std::string system = SystemMessageText(87);
    ASSERT_FALSE(system.empty());
    EXPECT_EQ(ErrorMessageText(-87), CleanSystemMessage(system));
    // The id 4600 is in the table with an empty text, so the system is asked too.
    EXPECT_EQ(ErrorMessageText(4600), CleanSystemMessage(SystemMessageText(4600)));
}

TEST(ErrorMessageText, IsEmptyWhenNeitherTableNorSystemKnowsTheId) {
    EXPECT_EQ(SystemMessageText(15099), "");
    EXPECT_EQ(ErrorMessageText(15099), "");
    EXPECT_EQ(ErrorMessageText(-32768), "");
}

TEST(ErrorMessageText, IsSafeFromSeveralThreadsAtOnce) {
    std::promise<void> go;
    const std::shared_future<void> started = go.get_future().share();
    std::vector<std::future<bool>> workers;
    for (int t = 0; t < 4; ++t) {
        workers.push_back(std::async(std::launch::async, [started] {
            started.wait();
            bool right = true;
            for (int i = 0; i < 500; ++i) {
                right = right && ErrorMessageText(-2007) == "ie_NOpen - device not open";
                right = right && ErrorMessageText(-87) == CleanSystemMessage(SystemMessageText(87));
            }
            return right;
        }));
    }
    go.set_value();
    for (auto& worker : workers) {
        ASSERT_EQ(worker.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        EXPECT_TRUE(worker.get());
    }
}

TEST(CleanSystemMessage, TurnsLineBreaksIntoSingleSpaces) {
    EXPECT_EQ(CleanSystemMessage("The parameter is incorrect.\r\n"),
              "The parameter is incorrect. ");
    EXPECT_EQ(CleanSystemMessage("first line\r\nsecond line  \r\n"), "first line second line ");
    EXPECT_EQ(CleanSystemMessage("tab\there"), "tab here");
    EXPECT_EQ(CleanSystemMessage("  many     spaces  "), " many spaces ");
    EXPECT_EQ(CleanSystemMessage(std::string("nul\0byte", 8)), "nul byte");
    EXPECT_EQ(CleanSystemMessage(""), "");
}

TEST(CleanSystemMessage, KeepsCharactersAbove127) {
    // "Нет доступа" in UTF-8: every byte is above 127 and must not count as a control.
    const std::string russian = "\xD0\x9D\xD0\xB5\xD1\x82 \xD0\xB4\xD0\xBE\xD1\x81\xD1\x82\xD1"
                                "\x83\xD0\xBF\xD0\xB0";
    EXPECT_EQ(CleanSystemMessage(russian + "\r\n"), russian + " ");
}

TEST(CutUtf8Text, NeverSplitsACharacter) {
    std::string ascii(300, 'a');
    CutUtf8Text(ascii, 255);
    EXPECT_EQ(ascii.size(), 255u);

    std::string twoByte(126, 'a');
    for (int i = 0; i < 10; ++i) {
        twoByte += "\xD0\x96"; // Ж
    }
    std::string cut = twoByte;
    CutUtf8Text(cut, 127); // the limit falls inside the first Ж
    EXPECT_EQ(cut, std::string(126, 'a'));
    cut = twoByte;
    CutUtf8Text(cut, 128);
    EXPECT_EQ(cut, std::string(126, 'a') + "\xD0\x96");

    std::string emoji = "\xF0\x9F\xA7\xAA";
    CutUtf8Text(emoji, 3);
    EXPECT_EQ(emoji, "");
    std::string shortText = "short";
    CutUtf8Text(shortText, 255);
    EXPECT_EQ(shortText, "short");
}

} // namespace
} // namespace apd
