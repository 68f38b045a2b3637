#include "usbtree/UsbTreeScan.h"

#include <string>

#include <unistd.h>

#include "usbtree/RegistryParser.h"
#include "usbtree/SysfsUsbTree.h"

namespace {

const char* const kRegistryTool = "/usr/sbin/ioreg";
const char* const kRegistryCommand = "/usr/sbin/ioreg -p IOUSB -l";

} // namespace

USBTree* getUsbTree()
{
    if (access(kRegistryTool, X_OK) != 0)
        return buildSysfsUsbTree(sysfsUsbRoot());
    std::string output;
    if (!openProcess(kRegistryCommand, &output))
        return nullptr;
    return parseUsbTree(output);
}
