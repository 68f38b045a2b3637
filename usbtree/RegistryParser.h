#ifndef USBTREE_REGISTRYPARSER_H
#define USBTREE_REGISTRYPARSER_H

// Turns the text of the registry tool ("ioreg -p IOUSB -l") into a USBTree, and runs that tool.
// Plain functions without state; any thread.

#include <string>
#include <vector>

#include "usbtree/PortscopeExport.h"

struct USBTree;

// Runs `command` and appends its standard output to `output` (read and dropped when null).
// The command is split at blanks into program and arguments and started without a shell: no
// quoting, no redirection, the program is looked up on PATH; it runs in a process group of its own
// with standard input on /dev/null. False when it cannot be started or
// does not end with status 0; a non-zero status also writes
// "pclose error => cmd(<command>) code=<wait status>" to standard output.
PORTSCOPE_EXPORT bool openProcess(const char* command, std::string* output);

// Splits `text` at `delimiter`. The first search starts at offset delimiter.size(), so a
// delimiter that opens the text stays in the first piece. Never empty: "" gives one empty piece;
// an empty delimiter gives the whole text.
PORTSCOPE_EXPORT std::vector<std::string> stdStringSpliter(const std::string& text,
                                                           const std::string& delimiter);

// Parses the registry tool's text. The result is the registry's own top entry when the text has
// exactly one entry at the top, else a synthetic node "MainRoot" (class "Root", depth -1) holding
// the top entries. Root hubs (class "IOUSBRootHubDevice") get "PortNum" 0, 1, ... in the order of
// their lines. Lines outside the layout are skipped; a malformed property line ends its node's
// property block; a node whose indentation leaves it without an ancestor is dropped, and so is
// everything after it. Never null; the caller releases the tree with freeUsbTree.
PORTSCOPE_EXPORT USBTree* parseUsbTree(const std::string& text);

#endif
