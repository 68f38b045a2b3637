#ifndef USBTREE_DEVICERECORD_H
#define USBTREE_DEVICERECORD_H

// Fills the exported device record from a node of the USB tree. Any thread.

#include "usbtree/Portscope.h"
#include "usbtree/PortscopeExport.h"

struct USBTree;

// Fills a zero-filled record from a device node (fields in Portscope.h). Texts are malloc'ed
// copies that the record's list block owns; a copy that cannot be allocated stays null.
PORTSCOPE_EXPORT void generateProperty(PortscopeDeviceProperties& record, USBTree* node);

#endif
