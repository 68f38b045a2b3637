#ifndef USBTREE_USBTREESCAN_H
#define USBTREE_USBTREESCAN_H

// Reads the machine's USB tree: from the registry tool where it exists, else from sysfs.
// Each call builds a new tree; any thread.

#include "usbtree/PortscopeExport.h"

struct USBTree;

// The USB tree now, or null when it cannot be read (the registry tool cannot be started or ends
// with a non-zero status, the sysfs folder is unreadable). The caller releases it with freeUsbTree.
PORTSCOPE_EXPORT USBTree* getUsbTree();

#endif
