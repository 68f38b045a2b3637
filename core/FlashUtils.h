#pragma once

#include <QString>
#include <QStringList>

class Device;
class ChildProcess;

// Runs the configured adb and fastboot programs, plainly or addressed to one device, through
// Utils::executeCmd (same arguments, same result: the exit code, -1 when nothing ran to completion).
// No state; callable from any thread.
class FlashUtils
{
public:
    FlashUtils() = delete;

    // fastboot, preceded by "-i <vendor id>" when the user forces the vendor id.
    static int executeFastbootCmd(const QStringList& arguments, int timeoutMs, bool verbose,
                                  bool* success, QString& output, ChildProcess* process = nullptr);
    // Addressed to `device` ("-s <serial>" on USB, "-s tcp:<address>" on Ethernet). The device must
    // be in pos or tos: otherwise -1 and nothing runs. A null device runs plain fastboot.
    static int executeFastbootCmd(const Device* device, const QStringList& arguments, int timeoutMs,
                                  bool verbose, bool* success, QString& output,
                                  ChildProcess* process = nullptr);
    // Probe form handed to the device library's fastboot filter.
    static int executeFastbootCmd(const Device* device, const QStringList& arguments, int timeoutMs,
                                  QString& output);

    static int executeAdbCmd(const QStringList& arguments, int timeoutMs, bool verbose,
                             bool* success, QString& output, ChildProcess* process = nullptr);
    // Addressed to `device` ("-s <serial>", a network address gets the port 5555 when it has none).
    // The device must be in mos or cos: otherwise -1 and nothing runs. A null device runs plain adb.
    static int executeAdbCmd(const Device* device, const QStringList& arguments, int timeoutMs,
                             bool verbose, bool* success, QString& output,
                             ChildProcess* process = nullptr);
    // Probe form handed to the device library's adb filter.
    static int executeAdbCmd(const Device* device, const QStringList& arguments, int timeoutMs,
                             QString& output);
};
