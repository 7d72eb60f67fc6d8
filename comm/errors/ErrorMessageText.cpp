#include "comm/errors/ErrorMessageText.h"

#include "comm/errors/NarrowText.h"
#include "comm/errors/SystemMessage.h"

namespace apd {

const TAdStringResource& ErrorStrings() {
    // The reader's own table is opened first: its texts report a failure to open this one.
    ManagerStrings();
    static const TAdStringResource strings(nullptr, "ZURI_ERROR_STRINGS_ENGLISH");
    return strings;
}

std::string CleanSystemMessage(std::string_view message) {
    std::string cleaned;
    cleaned.reserve(message.size());
    for (const char c : message) {
        const char spaced = static_cast<unsigned char>(c) < 32 ? ' ' : c;
        if (spaced == ' ' && !cleaned.empty() && cleaned.back() == ' ') {
            continue;
        }
        cleaned.push_back(spaced);
    }
    return cleaned;
}

std::string ErrorMessageText(std::int16_t code) {
    const std::int32_t id = code < 0 ? -std::int32_t{code} : std::int32_t{code};
    std::string text = ErrorStrings().GetString(id);
    if (text.empty()) {
        text = CleanSystemMessage(SystemMessageText(static_cast<std::uint32_t>(id)));
    }
    CutNarrowText(text, MaxMessageTextLength);
    return text;
}

std::string SystemErrorMessageText(int number) {
    std::string text =
        number > 0 ? CleanSystemMessage(SystemMessageText(static_cast<std::uint32_t>(number)))
                   : std::string();
    if (text.empty() || text == " ") {
        text = "Operating-system error " + std::to_string(number);
    }
    CutNarrowText(text, MaxMessageTextLength);
    return text;
}

} // namespace apd
