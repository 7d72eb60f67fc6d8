#pragma once
// The "О программе" box of the main window's menu: the program's name and version.

#include <QString>

class QWidget;

namespace vorsilan::app {

inline const QString AboutTitle = QStringLiteral("О программе");

// The box's text, with the project's version.
QString AboutText();

// Shows the box, modal to `parent`, until the user closes it.
void ShowAboutBox(QWidget* parent);

} // namespace vorsilan::app
