#pragma once

// The program's application object for the command-line face: a QCoreApplication, so it never
// needs a display, with the same listener register as the desktop one.

#include "engine/FlashManagerEventListener.h"
#include "engine/FlashManagerListenerRegister.h"

#include <QCoreApplication>

class FlashManagerCoreApplication : public QCoreApplication, public FlashManagerListenerRegister
{
    Q_OBJECT

public:
    FlashManagerCoreApplication(int& argc, char** argv);
};
