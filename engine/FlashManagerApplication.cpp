#include "engine/FlashManagerApplication.h"

#include "engine/FlashManagerCoreApplication.h"

FlashManagerApplication::FlashManagerApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

QCoreApplication* FlashManagerApplication::createApplication(int& argc, char** argv, bool gui)
{
    if (gui)
        return new FlashManagerApplication(argc, argv);
    return new FlashManagerCoreApplication(argc, argv);
}
