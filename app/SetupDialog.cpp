#include "app/SetupDialog.h"

#include "app/SettingsExchange.h"
#include "comm/errors/IntegerConversion.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QVBoxLayout>

#include <stdexcept>

namespace vorsilan::app {

namespace {

// Least widths of the fields, so that their numbers fit at any font; the layouts give
// every caption the room its text needs.
constexpr int ComboWidth = 130;
constexpr int CodeEditWidth = 60;
constexpr int ScrollBarWidth = 200;
constexpr int CounterEditWidth = 110;
constexpr int TimeEditWidth = 80;
constexpr int ButtonWidth = 130;
constexpr int SectionSpacing = 12;
constexpr int ColumnSpacing = 20;

// Offsets of the block's fields.
constexpr std::size_t ModeOffset = 2;
constexpr std::size_t CodeOffset = 5;
constexpr std::size_t CounterOffset = 9;
constexpr std::size_t TimeOffset = 24;
constexpr std::size_t BacklightOffset = 32;
constexpr std::size_t SpeakerOffset = 34;

// A text the dialog refuses to save, with the message that says why.
class ERefusedField : public std::runtime_error {
public:
    explicit ERefusedField(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// The strict integer value of an edit; a text that is none is refused naming the field.
std::int32_t IntegerValue(const QLineEdit* edit, const QString& caption) {
    try {
        return apd::StrToInt(edit->text().toStdString());
    } catch (const apd::EConvertError&) {
        throw ERefusedField(NotIntegerFieldText.arg(caption, edit->text()));
    }
}

// The same, and a negative number is refused too.
std::int32_t NonNegativeValue(const QLineEdit* edit, const QString& caption) {
    const std::int32_t value = IntegerValue(edit, caption);
    if (value < 0) {
        throw ERefusedField(NegativeFieldText.arg(caption, edit->text()));
    }
    return value;
}

// An item index, or 0xFF when the combo box's text is none of its items.
std::uint8_t ItemByte(const QComboBox* combo) {
    const int index = combo->findText(combo->currentText());
    return index < 0 ? 0xFF : static_cast<std::uint8_t>(index);
}

QString Caption(const QLabel* label) {
    QString text = label->text();
    if (text.endsWith(QLatin1Char(':'))) {
        text.chop(1);
    }
    return text;
}

} // namespace

TFSetup::TFSetup(SettingsBlock& block, SetupActions actions, QWidget* parent)
    : QDialog(parent), block_(block), actions_(std::move(actions)) {
    setObjectName(QStringLiteral("FSetup"));
    setWindowTitle(QStringLiteral("Внутренние установки KV-7"));
    BuildControls();
    FormCreate();
    adjustSize();
    if (parent != nullptr) {
        const QRect frame = parent->geometry();
        move(frame.center() - rect().center());
    }
}

void TFSetup::BuildControls() {
    // The controls are made in their tab order; the layouts below place them.
    auto label = [this](const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QStringLiteral("Label%1").arg(nextLabel_++));
        return l;
    };
    auto edit = [this](const char* name, int width) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        if (width > 0) {
            e->setMinimumWidth(width);
        }
        return e;
    };
    auto combo = [this](const char* name, const QStringList& items) {
        auto* c = new QComboBox(this);
        c->setObjectName(QString::fromLatin1(name));
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->addItems(items);
        c->setMinimumWidth(ComboWidth);
        return c;
    };
    auto scrollBar = [this](const char* name) {
        auto* s = new QScrollBar(Qt::Horizontal, this);
        s->setObjectName(QString::fromLatin1(name));
        s->setRange(0, 255);
        s->setMinimumWidth(ScrollBarWidth);
        return s;
    };
    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };

    auto* rows = new QVBoxLayout(this);
    rows->setSizeConstraint(QLayout::SetFixedSize); // the dialog is as big as its contents
    rows->setSpacing(SectionSpacing);

    // The three combo boxes in a row at the top, each under its caption.
    auto* top = new QGridLayout;
    const QString topCaptions[] = {QStringLiteral("Режим:"), QStringLiteral("Ток:"),
                                   QStringLiteral("Делитель:")};
    QComboBox** const topCombos[] = {&ComboBox1, &ComboBox2, &ComboBox3};
    const QStringList topItems[] = {{"RBC", "WBC", "PBC", "EXT"}, {"200", "400"}, {"1", "10"}};
    const char* const topNames[] = {"ComboBox1", "ComboBox2", "ComboBox3"};
    for (int c = 0; c < 3; ++c) {
        top->addWidget(label(topCaptions[c]), 0, c);
        *topCombos[c] = combo(topNames[c], topItems[c]);
        top->addWidget(*topCombos[c], 1, c);
    }
    rows->addLayout(top);

    // The codes: caption, narrow edit, scroll bar.
    auto* codes = new QGridLayout;
    const QString codeCaptions[] = {QStringLiteral("Код RBC:"), QStringLiteral("Код WBC:"),
                                    QStringLiteral("Код PBC:"), QStringLiteral("Код EXT:")};
    QLineEdit** const codeEdits[] = {&Edit6, &Edit7, &Edit14, &Edit15};
    QScrollBar** const codeBars[] = {&ScrollBar1, &ScrollBar2, &ScrollBar3, &ScrollBar4};
    const char* const codeEditNames[] = {"Edit6", "Edit7", "Edit14", "Edit15"};
    const char* const codeBarNames[] = {"ScrollBar1", "ScrollBar2", "ScrollBar3", "ScrollBar4"};
    for (int r = 0; r < 4; ++r) {
        codeLabels_[r] = label(codeCaptions[r]);
        *codeEdits[r] = edit(codeEditNames[r], CodeEditWidth);
        *codeBars[r] = scrollBar(codeBarNames[r]);
        codes->addWidget(codeLabels_[r], r, 0);
        codes->addWidget(*codeEdits[r], r, 1);
        codes->addWidget(*codeBars[r], r, 2);
    }
    codes->setColumnStretch(2, 1);
    rows->addLayout(codes);

    // The counters, the reset button beside the power-on counter.
    auto* counters = new QGridLayout;
    const QString counterCaptions[] = {
        QStringLiteral("Счетчик включений:"), QStringLiteral("Счетчик RBC:"),
        QStringLiteral("Счетчик WBC:"), QStringLiteral("Счетчик PBC:"),
        QStringLiteral("Счетчик EXT:")};
    QLineEdit** const counterEdits[] = {&Edit8, &Edit9, &Edit10, &Edit11, &Edit12};
    const char* const counterNames[] = {"Edit8", "Edit9", "Edit10", "Edit11", "Edit12"};
    for (int r = 0; r < 5; ++r) {
        counterLabels_[r] = label(counterCaptions[r]);
        *counterEdits[r] = edit(counterNames[r], CounterEditWidth);
        counters->addWidget(counterLabels_[r], r, 0);
        counters->addWidget(*counterEdits[r], r, 1);
        if (r == 0) {
            Button4 = button("Button4", QStringLiteral("Сбросить счетчики"));
            counters->addWidget(Button4, 0, 2);
        }
    }
    counters->setColumnStretch(2, 1);
    rows->addLayout(counters);

    // The maximum measuring times in two columns, then the backlight interval and the
    // speaker: each a caption across its column over "Секунды:" and the field.
    auto* times = new QGridLayout;
    times->setHorizontalSpacing(ColumnSpacing);
    auto time = [&](int index, const QString& caption, const char* name, int row, int column) {
        timeLabels_[index] = label(caption);
        times->addWidget(timeLabels_[index], row, column, 1, 2);
        times->addWidget(label(QStringLiteral("Секунды:")), row + 1, column);
        QLineEdit* field = edit(name, TimeEditWidth);
        times->addWidget(field, row + 1, column + 1);
        return field;
    };
    Edit1 = time(0, QStringLiteral("Максимальное время измерения RBC:"), "Edit1", 0, 0);
    Edit13 = time(1, QStringLiteral("Максимальное время измерения WBC:"), "Edit13", 0, 2);
    Edit2 = time(2, QStringLiteral("Максимальное время измерения PBC:"), "Edit2", 2, 0);
    Edit3 = time(3, QStringLiteral("Максимальное время измерения EXT:"), "Edit3", 2, 2);
    backlightLabel_ = label(QStringLiteral("Интервал отключения подсветки:"));
    times->addWidget(backlightLabel_, 4, 0, 1, 2);
    times->addWidget(label(QStringLiteral("Секунды:")), 5, 0);
    Edit4 = edit("Edit4", TimeEditWidth);
    times->addWidget(Edit4, 5, 1);
    times->addWidget(label(QStringLiteral("Динамик:")), 4, 2, 1, 2);
    CheckBox1 = new QCheckBox(QStringLiteral("Включить"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    times->addWidget(CheckBox1, 5, 2, 1, 2);
    times->setColumnStretch(1, 1);
    times->setColumnStretch(3, 1);
    rows->addLayout(times);

    // The information line across the dialog.
    auto* information = new QVBoxLayout;
    information->setSpacing(2);
    information->addWidget(label(QStringLiteral("Дополнительная информация:")));
    Edit5 = edit("Edit5", 0);
    information->addWidget(Edit5);
    rows->addLayout(information);

    auto* buttons = new QHBoxLayout;
    Button1 = button("Button1", QStringLiteral("&Сохранить"));
    Button3 = button("Button3", QStringLiteral("Стандарт"));
    Button2 = button("Button2", QStringLiteral("&Отмена"));
    for (QPushButton* b : {Button1, Button3, Button2}) {
        b->setMinimumWidth(ButtonWidth);
        buttons->addWidget(b);
    }
    rows->addLayout(buttons);

    auto bind = [this](auto* sender, auto signal, void (TFSetup::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { GuardedCall(actions_.report, [&] { (this->*handler)(); }); });
    };
    bind(ScrollBar1, &QScrollBar::valueChanged, &TFSetup::ScrollBar1Change);
    bind(ScrollBar2, &QScrollBar::valueChanged, &TFSetup::ScrollBar2Change);
    bind(ScrollBar3, &QScrollBar::valueChanged, &TFSetup::ScrollBar3Change);
    bind(ScrollBar4, &QScrollBar::valueChanged, &TFSetup::ScrollBar4Change);
    bind(Edit6, &QLineEdit::textChanged, &TFSetup::Edit6Change);
    bind(Edit7, &QLineEdit::textChanged, &TFSetup::Edit7Change);
    bind(Edit14, &QLineEdit::textChanged, &TFSetup::Edit14Change);
    bind(Edit15, &QLineEdit::textChanged, &TFSetup::Edit15Change);
    bind(Button1, &QPushButton::clicked, &TFSetup::Button1Click);
    bind(Button2, &QPushButton::clicked, &TFSetup::Button2Click);
    bind(Button3, &QPushButton::clicked, &TFSetup::Button3Click);
    bind(Button4, &QPushButton::clicked, &TFSetup::Button4Click);
}

void TFSetup::FormCreate() {
    QComboBox* const combos[] = {ComboBox1, ComboBox2, ComboBox3};
    for (std::size_t i = 0; i < 3; ++i) {
        const int index = block_[ModeOffset + i];
        combos[i]->setCurrentIndex(index < combos[i]->count() ? index : -1);
    }
    QLineEdit* const codes[] = {Edit6, Edit7, Edit14, Edit15};
    QScrollBar* const bars[] = {ScrollBar1, ScrollBar2, ScrollBar3, ScrollBar4};
    for (std::size_t i = 0; i < 4; ++i) {
        codes[i]->setText(QString::number(block_[CodeOffset + i]));
        bars[i]->setValue(block_[CodeOffset + i]);
    }
    QLineEdit* const counters[] = {Edit8, Edit9, Edit10, Edit11, Edit12};
    for (std::size_t i = 0; i < 5; ++i) {
        counters[i]->setText(QString::number(Counter(block_, CounterOffset + 3 * i)));
    }
    QLineEdit* const times[] = {Edit1, Edit13, Edit2, Edit3};
    for (std::size_t i = 0; i < 4; ++i) {
        times[i]->setText(QString::number(TotalSeconds(block_, TimeOffset + 2 * i)));
    }
    Edit4->setText(QString::number(Word(block_, BacklightOffset)));
    CheckBox1->setChecked(block_[SpeakerOffset] != 0);
    Edit5->setText(InformationText(block_));
}

// The scroll bar clamps the edit's number to 0 to 255; the edit then shows the clamped
// position, and the block takes the position.
void TFSetup::CodeEditChange(QLineEdit* edit, QScrollBar* bar, const QLabel* label) {
    const std::int32_t value = IntegerValue(edit, Caption(label));
    bar->setValue(value);
    if (bar->value() != value) {
        edit->setText(QString::number(bar->value()));
    }
}

void TFSetup::ScrollBar1Change() {
    Edit6->setText(QString::number(ScrollBar1->value()));
}
void TFSetup::ScrollBar2Change() {
    Edit7->setText(QString::number(ScrollBar2->value()));
}
void TFSetup::ScrollBar3Change() {
    Edit14->setText(QString::number(ScrollBar3->value()));
}
void TFSetup::ScrollBar4Change() {
    Edit15->setText(QString::number(ScrollBar4->value()));
}
void TFSetup::Edit6Change() {
    CodeEditChange(Edit6, ScrollBar1, codeLabels_[0]);
}
void TFSetup::Edit7Change() {
    CodeEditChange(Edit7, ScrollBar2, codeLabels_[1]);
}
void TFSetup::Edit14Change() {
    CodeEditChange(Edit14, ScrollBar3, codeLabels_[2]);
}
void TFSetup::Edit15Change() {
    CodeEditChange(Edit15, ScrollBar4, codeLabels_[3]);
}

void TFSetup::Button3Click() {
    ComboBox1->setCurrentIndex(0);
    ComboBox2->setCurrentIndex(1);
    ComboBox3->setCurrentIndex(1);
    Edit6->setText(QStringLiteral("40"));
    Edit7->setText(QStringLiteral("23"));
    Edit14->setText(QStringLiteral("14"));
    Edit15->setText(QStringLiteral("30"));
    Button4Click();
    Edit1->setText(QStringLiteral("32"));
    Edit13->setText(QStringLiteral("20"));
    Edit2->setText(QStringLiteral("32"));
    Edit3->setText(QStringLiteral("32"));
    Edit4->setText(QStringLiteral("180"));
    CheckBox1->setChecked(true);
    Edit5->setText(StandardInformation);
}

void TFSetup::Button4Click() {
    for (QLineEdit* counter : {Edit8, Edit9, Edit10, Edit11, Edit12}) {
        counter->setText(QStringLiteral("0"));
    }
}

void TFSetup::Button2Click() {
    reject();
}

SettingsBlock TFSetup::Gather() const {
    SettingsBlock block = block_; // offsets 0 and 1 keep the values read
    block[ModeOffset] = ItemByte(ComboBox1);
    block[ModeOffset + 1] = ItemByte(ComboBox2);
    block[ModeOffset + 2] = ItemByte(ComboBox3);
    const QScrollBar* const bars[] = {ScrollBar1, ScrollBar2, ScrollBar3, ScrollBar4};
    for (std::size_t i = 0; i < 4; ++i) {
        block[CodeOffset + i] = static_cast<std::uint8_t>(bars[i]->value());
    }
    const QLineEdit* const counters[] = {Edit8, Edit9, Edit10, Edit11, Edit12};
    for (std::size_t i = 0; i < 5; ++i) {
        const HCL bytes = GetHCL(NonNegativeValue(counters[i], Caption(counterLabels_[i])));
        block[CounterOffset + 3 * i] = bytes.low;
        block[CounterOffset + 3 * i + 1] = bytes.middle;
        block[CounterOffset + 3 * i + 2] = bytes.high;
    }
    const QLineEdit* const times[] = {Edit1, Edit13, Edit2, Edit3};
    for (std::size_t i = 0; i < 4; ++i) {
        const std::int32_t value = NonNegativeValue(times[i], Caption(timeLabels_[i]));
        const SecMin bytes = GetSecMin(static_cast<std::uint16_t>(value));
        block[TimeOffset + 2 * i] = bytes.seconds;
        block[TimeOffset + 2 * i + 1] = bytes.minutes;
    }
    const HCL backlight = GetHCL(NonNegativeValue(Edit4, Caption(backlightLabel_)));
    block[BacklightOffset] = backlight.low;
    block[BacklightOffset + 1] = backlight.middle;
    block[SpeakerOffset] = CheckBox1->isChecked() ? 1 : 0;
    switch (StoreInformationText(block, Edit5->text())) {
    case InformationFault::TooLong:
        throw ERefusedField(InformationTooLongText.arg(Edit5->text().size()));
    case InformationFault::NotRepresentable:
        throw ERefusedField(InformationNotRepresentableText);
    case InformationFault::None:
        break;
    }
    return block;
}

void TFSetup::Button1Click() {
    if (actions_.beginSave) {
        actions_.beginSave();
    }
    // Every field is checked before the first byte goes out; a refusal keeps the dialog
    // open for a correction.
    block_ = Gather();
    try {
        if (actions_.write) {
            actions_.write(block_);
        }
    } catch (...) {
        accept();
        throw;
    }
    accept();
}

} // namespace vorsilan::app
