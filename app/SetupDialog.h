#pragma once
// The engineering dialog "Внутренние установки KV-7": shows the analyser's settings block
// read just before, lets the engineer edit it, fill in the factory defaults or zero the
// counters, and on "&Сохранить" gathers the controls back into the block and has it written.

#include "app/GuardedCall.h"
#include "app/SettingsFields.h"

#include <QDialog>
#include <QString>

#include <exception>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace vorsilan::app {

// What the dialog asks of the exchange that shows it.
struct SetupActions {
    std::function<void()> beginSave; // the block is about to be written
    // Writes the block; false when the analyser stopped answering.
    std::function<bool(const SettingsBlock&)> write;
    ErrorReport report; // the application's error report
};

// The factory default of the information line.
inline const QString StandardInformation =
    QStringLiteral("Factory standard settings of the analyser, service information line 01/01/01");

class TFSetup : public QDialog {
    Q_OBJECT
public:
    // Builds the controls and fills them from `block`, which save gathers back into.
    TFSetup(SettingsBlock& block, SetupActions actions, QWidget* parent = nullptr);

    static SecMin GetSecMin(std::uint16_t value) { return app::GetSecMin(value); }
    static HCL GetHCL(std::int32_t value) { return app::GetHCL(value); }

    // ---- Handlers ---------------------------------------------------------------------
    void FormCreate();
    void ScrollBar1Change();
    void ScrollBar2Change();
    void ScrollBar3Change();
    void ScrollBar4Change();
    void Edit6Change();
    void Edit7Change();
    void Edit14Change();
    void Edit15Change();
    void Button3Click(); // "Стандарт"
    void Button4Click(); // "Сбросить счетчики"
    void Button1Click(); // "&Сохранить"
    void Button2Click(); // "&Отмена"

    // ---- Controls -----------------------------------------------------------------------
    QComboBox* ComboBox1 = nullptr; // mode
    QComboBox* ComboBox2 = nullptr; // current
    QComboBox* ComboBox3 = nullptr; // divider
    QLineEdit* Edit6 = nullptr;     // codes RBC, WBC, PBC, EXT and their scroll bars
    QLineEdit* Edit7 = nullptr;
    QLineEdit* Edit14 = nullptr;
    QLineEdit* Edit15 = nullptr;
    QScrollBar* ScrollBar1 = nullptr;
    QScrollBar* ScrollBar2 = nullptr;
    QScrollBar* ScrollBar3 = nullptr;
    QScrollBar* ScrollBar4 = nullptr;
    QLineEdit* Edit8 = nullptr; // counters: power-on, RBC, WBC, PBC, EXT
    QLineEdit* Edit9 = nullptr;
    QLineEdit* Edit10 = nullptr;
    QLineEdit* Edit11 = nullptr;
    QLineEdit* Edit12 = nullptr;
    QLineEdit* Edit1 = nullptr; // maximum measuring times RBC, WBC, PBC, EXT
    QLineEdit* Edit13 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr; // backlight switch-off interval
    QCheckBox* CheckBox1 = nullptr;
    QLineEdit* Edit5 = nullptr; // additional information
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;

private:
    void BuildControls();
    void CodeEditChange(QLineEdit* edit, QScrollBar* bar, const QLabel* label);
    // Gathers the controls into a copy of the block; raises for a text that is no
    // integer, a negative number or an information line that cannot be stored.
    SettingsBlock Gather() const;

    QLabel* codeLabels_[4] = {};
    QLabel* counterLabels_[5] = {};
    QLabel* timeLabels_[4] = {};
    QLabel* backlightLabel_ = nullptr;
    SettingsBlock& block_;
    SetupActions actions_;
    int nextLabel_ = 1;
};

} // namespace vorsilan::app
