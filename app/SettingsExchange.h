#pragma once
// The engineering settings exchange: the analyser's settings block is read over the main
// window's port, shown in the dialog TFSetup and, on save, written back byte by byte. Every
// wait for the analyser is bounded; when a bound passes the exchange stops, sends nothing
// more and the window returns to normal reception as after the dialog.

#include "app/PortWait.h"
#include "app/SettingsFields.h"

#include <QString>

#include <chrono>
#include <functional>

namespace apd {
class TApdComPort;
}

namespace vorsilan::app {

class TForm1;
class TFSetup;

// How long the analyser may take with each byte it owes, and how the wait looks meanwhile.
// The bound covers a slow analyser many times over: at 115200 baud a byte takes 87 us.
struct SettingsBounds {
    std::chrono::milliseconds answer{3000};
    PollPauses pauses;
};

struct SettingsExchangeOptions {
    SettingsBounds bounds;
    // Shows the dialog; empty: modally. A test drives the dialog here instead.
    std::function<void(TFSetup&)> runDialog;
};

// Message texts.
inline const QString ReadCommandUnansweredText =
    QStringLiteral("Анализатор не ответил на команду чтения внутренних установок. "
                   "Чтение прекращено.");
// %1: the offset of the block byte that did not come.
inline const QString ReadStoppedText =
    QStringLiteral("Анализатор не прислал байт %1 блока внутренних установок. "
                   "Чтение прекращено.");
// %1: the offset of the block byte whose answer did not come.
inline const QString WriteStoppedText =
    QStringLiteral("Анализатор не ответил на байт %1 блока при записи внутренних установок. "
                   "Запись прекращена, следующие байты не отправлены: блок в анализаторе "
                   "может быть записан частично. Прочитайте внутренние установки заново.");
// %1: the field's caption, %2: its text.
inline const QString NotIntegerFieldText =
    QStringLiteral("Поле \"%1\" должно содержать целое десятичное число: '%2'");
// %1: the field's caption, %2: its text.
inline const QString NegativeFieldText =
    QStringLiteral("Поле \"%1\" не может быть отрицательным: %2");
// %1: the length of the text.
inline const QString InformationTooLongText =
    QStringLiteral("Дополнительная информация длиннее 221 символа (%1). Сократите текст.");
inline const QString InformationNotRepresentableText =
    QStringLiteral("В дополнительной информации есть символы, которых нет в кодировке "
                   "Windows-1251.");

// The whole exchange, run by the engineering menu item.
void RunSettingsExchange(TForm1& form, const SettingsExchangeOptions& options);

// Waits until a received byte waits unread, repainting the windows and running timers
// meanwhile (user input waits). False when the bound passed or the port is not open.
bool WaitForAnswer(apd::TApdComPort& port, const SettingsBounds& bounds);

} // namespace vorsilan::app
