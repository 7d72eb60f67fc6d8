#pragma once
// What the main window asks the user: the save dialog, the overwrite question, the
// question whether to restore unreported results and the application's error report. Production
// shows the real dialogs; a test answers them.

#include <QString>

#include <optional>

class QWidget;

namespace vorsilan::app {

enum class OverwriteAnswer { Yes, No, Cancel };

class UserPrompts {
public:
    virtual ~UserPrompts() = default;
    // The chosen file name, or nothing when the user cancelled. `filter` is in the
    // "Description|pattern|Description|pattern" form.
    virtual std::optional<QString> AskSaveFileName(const QString& filter,
                                                   const QString& startName) = 0;
    virtual OverwriteAnswer AskOverwrite(const QString& question) = 0;
    // A yes-or-no question: true for yes.
    virtual bool AskYesNo(const QString& question) = 0;
    // The application's default error report: the text of an exception.
    virtual void ShowError(const QString& text) = 0;
};

// The real dialogs, parented to `parent`.
class DialogPrompts : public UserPrompts {
public:
    explicit DialogPrompts(QWidget* parent) : parent_(parent) {}
    std::optional<QString> AskSaveFileName(const QString& filter,
                                           const QString& startName) override;
    OverwriteAnswer AskOverwrite(const QString& question) override;
    bool AskYesNo(const QString& question) override;
    void ShowError(const QString& text) override;

private:
    QWidget* parent_;
};

// "A|a|B|b" as Qt's name filter "A;;B" (the patterns are part of the descriptions).
QString QtNameFilter(const QString& filter);

} // namespace vorsilan::app
