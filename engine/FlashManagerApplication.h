#pragma once

// The program's application object for the desktop face: a QApplication with the listener
// register. The entry point creates it (or, under --cli, a FlashManagerCoreApplication, which
// needs no display) through createApplication, first of all objects, and deletes it last.

#include "engine/FlashManagerEventListener.h"
#include "engine/FlashManagerListenerRegister.h"

#include <QApplication>

class FlashManagerApplication : public QApplication, public FlashManagerListenerRegister
{
    Q_OBJECT

public:
    FlashManagerApplication(int& argc, char** argv);

    // The desktop application when `gui` is set, else the command-line one; the caller owns it.
    // `argc` and `argv` must outlive the object.
    static QCoreApplication* createApplication(int& argc, char** argv, bool gui);
};
