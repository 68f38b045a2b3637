#pragma once

// What one scan found about one device: a plain value that the filters fill, the scanners hand to
// the device manager, and the manager gives to Device::setDataLocked (or to the allocator for a new
// device). It is no device itself: nothing locks it, nothing owns it.

#include "platform/device/DeviceTypes.h"
#include "platform/device/PortNumber.h"

#include <QString>

#include <cstdint>

class DummyDevice
{
public:
    DummyDevice() = default;

    PortNumber getPort() const { return m_port; }
    void setPort(const PortNumber& port) { m_port = port; }
    DeviceState getState() const { return m_state; }
    void setState(DeviceState state) { m_state = state; }
    DevicePlatform getPlatform() const { return m_platform; }
    void setPlatform(DevicePlatform platform) { m_platform = platform; }
    DeviceKind getKind() const { return m_kind; }
    void setKind(DeviceKind kind) { m_kind = kind; }
    uint16_t getVendorId() const { return m_vendorId; }
    void setVendorId(uint16_t vendorId) { m_vendorId = vendorId; }
    uint16_t getProductId() const { return m_productId; }
    void setProductId(uint16_t productId) { m_productId = productId; }
    QString getVendorName() const { return m_vendorName; }
    void setVendorName(const QString& name) { m_vendorName = name; }
    QString getProductName() const { return m_productName; }
    void setProductName(const QString& name) { m_productName = name; }
    QString getSerial() const { return m_serial; }
    void setSerial(const QString& serial) { m_serial = serial; }
    bool isConnected() const { return m_connected; }
    void setConnected(bool connected) { m_connected = connected; }

private:
    PortNumber m_port;
    DeviceState m_state = DeviceState::Unknown;
    DevicePlatform m_platform = DevicePlatform::Unknown;
    DeviceKind m_kind = DeviceKind::Unknown;
    uint16_t m_vendorId = 0;
    uint16_t m_productId = 0;
    QString m_vendorName;
    QString m_productName;
    QString m_serial;
    bool m_connected = true;
};
