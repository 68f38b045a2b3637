#pragma once

// Version record of the flashing library part of the program, exported for outside tools.

#include <QtGlobal>

class Q_DECL_EXPORT QuillonLib
{
public:
    QuillonLib() = delete;

    static const char* getVersion();
    static const char* getBuildDate();
};

extern "C" {
Q_DECL_EXPORT const char* QuillonLib_getVersion();
Q_DECL_EXPORT const char* QuillonLib_getBuildDate();
}
