#pragma once

// The application class of both faces. For now it holds the usage text of the command line, which
// the program entry prints for --help and the option parser logs when no flash file is named.

#include <QString>

class Quillon
{
public:
    // Built at program load with the version, the build time and the log level range filled in;
    // ends with a newline.
    static const QString help_message;
};
