// The program-wide settings of the Linux program's Qt application.
#pragma once

#include <QIcon>

class QTranslator;

// The application's icon compiled into the program, or a null icon when the
// build has none.
QIcon AppIcon();

// Names the application, gives it and every window the program's icon
// (IDI_APP), and installs Qt's own texts in Chinese (the Yes/No buttons, the
// pickers). qtTexts must live as long as the application.
void ConfigureApplication(QTranslator& qtTexts);
