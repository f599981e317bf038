#pragma once

#include <QString>

class QWidget;

// The program's own copyright line, shown in the About dialog.
[[nodiscard]] QString copyrightLine();

// The About dialog: the application's name, icon, version and copyright line. Non-modal; a second
// call raises the one already open.
void showAboutDialog(QWidget* parent = nullptr);
