#include "app/ResultText.h"

#include "app/ValueText.h"

#include <QLocale>

namespace vorsilan::app {

namespace {

// The divisor and the word of a sample kind; divisor 0 for an unknown kind.
struct KindSpec {
    std::uint32_t divisor;
    const char* word;
};
KindSpec KindOf(std::uint16_t kind) {
    switch (kind) {
    case 1:
        return {100, "Сыворотка "};
    case 2:
        return {100, "Кровь "};
    case 3:
        return {10, "Моча "};
    default:
        return {0, ""};
    }
}

} // namespace

QString ResultLabelText(std::uint16_t value, std::uint16_t kind) {
    const KindSpec spec = KindOf(kind);
    if (spec.divisor == 0) {
        return QString();
    }
    return QString::fromUtf8(spec.word) +
           GeneralValueText(value, spec.divisor, 4, UserDecimalSeparator());
}

void SetValueColumn(JournalRow& row, std::uint16_t value, std::uint16_t kind) {
    const QChar separator = UserDecimalSeparator();
    switch (kind) {
    case 1:
        row.serum = GeneralValueText(value, 100, 3, separator);
        break;
    case 2:
        row.blood = GeneralValueText(value, 100, 4, separator);
        break;
    case 3:
        row.urine = GeneralValueText(value, 10, 4, separator);
        break;
    default:
        break;
    }
}

QString ResultDateText(const QDate& date) {
    return QLocale::system().toString(date, QLocale::ShortFormat);
}

QString ResultTimeText(const QTime& time) {
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return QLocale::system().toString(time, format.trimmed());
}

} // namespace vorsilan::app
