#pragma once

// What the device library reports of a Zorvik Android device, for tests that build devices and
// views without a scanner.

#include "platform/device/DummyDevice.h"

#include <QString>

inline DummyDevice zorvikDeviceData(DeviceState state, const QString& serial, const QString& port, bool connected)
{
    DummyDevice data;
    data.setPort(PortNumber::usbPort(port));
    data.setState(state);
    data.setSerial(serial);
    data.setConnected(connected);
    data.setPlatform(DevicePlatform::ZorvikAndroid);
    return data;
}
