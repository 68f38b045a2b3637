#ifndef USBTREE_PORTSCOPELIB_H
#define USBTREE_PORTSCOPELIB_H

// Version texts of the library. Static texts that live as long as the library is loaded.

#include "usbtree/PortscopeExport.h"

class PORTSCOPE_EXPORT PortscopeLib
{
public:
    static const char* getVersion();
    static const char* getBuildDate();
};

PORTSCOPE_EXPORT const char* PortscopeLib_getVersion();
PORTSCOPE_EXPORT const char* PortscopeLib_getBuildDate();

#endif
