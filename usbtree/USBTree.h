#ifndef USBTREE_USBTREE_H
#define USBTREE_USBTREE_H

// One node of the USB registry tree and the walks over it. A node owns its children; the top node
// belongs to whoever built the tree and is released with freeUsbTree. Nothing here is shared:
// every thread works on its own tree.

#include <array>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>

#include "usbtree/PortscopeExport.h"

struct PORTSCOPE_EXPORT USBTree
{
    std::string name;                              // entry name, "" when the device gives none
    std::string klass;                             // registry class ("IOUSBDevice", ...)
    USBTree* parent = nullptr;                     // not owning; null for the top node
    std::map<std::string, USBTree*> children;      // owned; key: the entry's line before its class
    std::map<std::string, std::string, std::less<>> properties;
    int32_t depth = -1;                            // -1 only for the synthetic top node
};

using UsbAddress = std::array<uint8_t, 8>;

// Releases the node and its whole subtree. Null is ignored.
PORTSCOPE_EXPORT void freeUsbTree(USBTree* node);

struct UsbTreeDeleter
{
    void operator()(USBTree* node) const { freeUsbTree(node); }
};
// Sole owner of a tree (or of a node not yet attached to one).
using USBTreePtr = std::unique_ptr<USBTree, UsbTreeDeleter>;

// Debugging dump of the subtree to standard output.
PORTSCOPE_EXPORT void printUsbTree(USBTree* node);

// Nodes of class "IOUSBDevice" in the subtree, depth-first, each after the nodes below it and
// siblings in key order. Appended to `into` when given (the result is then a copy of `into`).
PORTSCOPE_EXPORT std::list<USBTree*> getEndDevices(USBTree* node, std::list<USBTree*>* into);

// Port address of the node (layout in Portscope.h); all zero for null.
PORTSCOPE_EXPORT UsbAddress getUSBAddress(USBTree* node);

// A number as atol reads it (blanks, sign, decimal digits; 0 without digits), without atol's
// undefined behaviour on overflow: out-of-range values saturate as strtol does.
long readRegistryNumber(const std::string& text);

#endif
