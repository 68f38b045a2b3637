#pragma once

// This process's claim on one device, so that two instances never flash one device: an advisory
// lock (flock) on a file named after the device's port, in this user's private runtime folder.
// The kernel drops the lock when the process dies; the destructor drops it (and the file) before.
// Owned by the FlashDevice2 it claims, for the length of a flash; any thread.

#include "platform/device/PortNumber.h"

#include <QString>

class LoggedObject;

#include <memory>

class DeviceClaim
{
public:
    enum Outcome { Taken = 0, HeldElsewhere = 1, Unavailable = 2 };

    // Claims the device on `port`: Taken fills `claim`; HeldElsewhere when another process holds
    // it; Unavailable, with `error` saying why, when no lock file could be made.
    static Outcome take(const PortNumber& port, std::unique_ptr<DeviceClaim>& claim, QString& error);
    // The folder of the lock files: "$XDG_RUNTIME_DIR/quillonlite", or without a runtime folder
    // "<temp>/quillonlite-<uid>"; made private to this user. Empty, with `error`, when it can't be.
    static QString folder(QString& error);
    // Whether the device on `port` may be flashed after `outcome` of take (`error` its reason):
    // not when another instance holds it, said at INFO through `log`; with a WARNING when no
    // claim could be made (a private folder nobody else can write to is the norm).
    static bool mayFlash(Outcome outcome, const PortNumber& port, const QString& error, const LoggedObject& log);

    ~DeviceClaim();
    DeviceClaim(const DeviceClaim&) = delete;
    DeviceClaim& operator=(const DeviceClaim&) = delete;

private:
    DeviceClaim(int descriptor, const QString& path);

    int m_descriptor;
    QString m_path;
};
