#include "ui/DeviceItemModel.h"

namespace {

bool isListedState(DeviceState state)
{
    return state == DeviceState::DnxFirmware || state == DeviceState::ProvisioningOs
           || state == DeviceState::MainOs;
}

} // namespace

DeviceItemModel::DeviceItemModel(QObject* parent)
    : QStandardItemModel(parent)
{
}

PortNumber DeviceItemModel::portAt(int row) const
{
    return data(index(row, 0), Qt::UserRole).value<PortNumber>();
}

void DeviceItemModel::onDeviceUpdate(const DevicePtr& device)
{
    if (!device)
        return;
    if (!device->isConnected() || device->getPort().getConnectionType() != PortNumber::UsbConnection
        || !isListedState(device->getState())) {
        onDeviceLost(device);
        return;
    }
    removePort(device->getPort());
    addDevice(device);
}

void DeviceItemModel::onDeviceLost(const DevicePtr& device)
{
    if (device)
        removePort(device->getPort());
}

void DeviceItemModel::addDevice(const DevicePtr& device)
{
    auto* item = new QStandardItem(device->getSerial());   // the model owns it once appended
    item->setData(QVariant::fromValue(device->getPort()), Qt::UserRole);
    appendRow(item);
}

void DeviceItemModel::removePort(const PortNumber& port)
{
    for (int row = 0; row < rowCount();) {
        if (portAt(row) == port)
            removeRow(row);
        else
            ++row;
    }
}
