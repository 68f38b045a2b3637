#pragma once

// The attached, usable devices as a one-column item model: one row per USB port, the serial as
// text and the port under Qt::UserRole. The main window feeds it the device manager's signals;
// GUI thread.

#include "platform/device/Device.h"

#include <QStandardItemModel>

class DeviceItemModel : public QStandardItemModel
{
    Q_OBJECT

public:
    explicit DeviceItemModel(QObject* parent = nullptr);

    // The port stored in `row`; a default port when the row holds none.
    PortNumber portAt(int row) const;

public slots:
    // Lists the device when it is connected over USB in DnX firmware, POS or MOS; otherwise drops
    // its row. An update moves the row to the end.
    void onDeviceUpdate(const DevicePtr& device);
    void onDeviceLost(const DevicePtr& device);

private:
    void addDevice(const DevicePtr& device);
    void removePort(const PortNumber& port);
};
