#include "engine/FlashManagerCoreApplication.h"

FlashManagerCoreApplication::FlashManagerCoreApplication(int& argc, char** argv)
    : QCoreApplication(argc, argv)
{
}
