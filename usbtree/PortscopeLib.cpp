#include "usbtree/PortscopeLib.h"

namespace {

const char* const kVersion = "1.3.0.0";
const char* const kBuildDate = "Thursday July 30th 2015, 09:15:08 UTC";

} // namespace

const char* PortscopeLib::getVersion()
{
    return kVersion;
}

const char* PortscopeLib::getBuildDate()
{
    return kBuildDate;
}

const char* PortscopeLib_getVersion()
{
    return kVersion;
}

const char* PortscopeLib_getBuildDate()
{
    return kBuildDate;
}
