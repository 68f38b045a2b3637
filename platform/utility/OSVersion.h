#pragma once

// Description of the host system: its name and the architecture the program runs on.
// Any thread.

#include <QString>

// Architecture codes of OSVersion::arch.
enum OSArchitecture : int {
    OSArch64 = 0,     // "64"
    OSArch32 = 1,     // "32"
    OSArchUnknown = 2 // empty
};

struct OSVersion
{
    char name[256]; // zero-terminated UTF-8 (ASCII for usual systems), never empty
    int arch;       // an OSArchitecture code
};

// The host system's name: PRETTY_NAME of /etc/os-release (or /usr/lib/os-release), else Qt's
// description of the system; architecture OSArch64 on a 64-bit build, OSArch32 on a 32-bit one.
// Asked once per process; later calls return the first answer.
OSVersion getOSVersion();

// PRETTY_NAME of an os-release file with its quoting removed; empty when the file or the key is
// missing.
QString readOsReleasePrettyName(const QString& path);
