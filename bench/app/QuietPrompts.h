#pragma once
// The window's questions for a harness that runs without a person: nothing is saved,
// overwritten or restored, and every error report is counted and written to standard error.

#include "app/UserPrompts.h"

#include <cstdio>

namespace vorsilan::bench {

class QuietPrompts : public app::UserPrompts {
public:
    std::optional<QString> AskSaveFileName(const QString&, const QString&) override {
        return std::nullopt;
    }
    app::OverwriteAnswer AskOverwrite(const QString&) override { return app::OverwriteAnswer::No; }
    bool AskYesNo(const QString&) override { return false; }
    void ShowError(const QString& text) override {
        ++errors;
        std::fprintf(stderr, "error: %s\n", text.toUtf8().constData());
    }
    int errors = 0;
};

} // namespace vorsilan::bench
