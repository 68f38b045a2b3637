#include "core/QuillonLib.h"

const char* QuillonLib::getVersion()
{
    return "5.3.2.0";
}

const char* QuillonLib::getBuildDate()
{
    return "Thursday July 30th 2015, 09:15:43 UTC";
}

const char* QuillonLib_getVersion()
{
    return QuillonLib::getVersion();
}

const char* QuillonLib_getBuildDate()
{
    return QuillonLib::getBuildDate();
}
