#pragma once

// Small fixtures of the runner tests: devices in a given state, fake programs.

#include "engine/FlashDevice2.h"
#include "platform/device/DummyDevice.h"

#include <QFile>
#include <QReadWriteLock>
#include <QTemporaryDir>
#include <QWriteLocker>

namespace RunnerFixtures {

inline DummyDevice deviceData(DeviceState state, const QString& serial, const QString& port = QStringLiteral("1-2"))
{
    DummyDevice data;
    data.setPort(PortNumber::usbPort(port));
    data.setState(state);
    data.setSerial(serial);
    data.setConnected(true);
    return data;
}

inline SharedPointer<FlashDevice2> makeDevice(DeviceState state, const QString& serial)
{
    return SharedPointer<FlashDevice2>(new FlashDevice2(deviceData(state, serial), nullptr));
}

// What the scanner does when it has news about the device.
inline void updateDevice(FlashDevice2& device, DeviceState state, const QString& serial)
{
    bool changed = false;
    bool other = false;
    {
        QWriteLocker locker(&device.getLock());
        device.setDataLocked(deviceData(state, serial), changed, other);
    }
    emit device.dataChanged();
}

// An executable shell script `name` in `dir` with `body`; its path.
inline QString writeFakeProgram(const QTemporaryDir& dir, const QString& name, const QByteArray& body)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace RunnerFixtures
