#include "ui/DeviceViewBinding.h"

#include "core/FlashUtils.h"
#include "platform/device/AndroidDevicePropertyManager.h"
#include "ui/QPhoneWidget.h"

#include <QDebug>

namespace {

// The ranks of a disconnected view, each view counting for the first it passes.
enum Match { SocSerialMatch, PlatformSerialMatch, PortMatch, FreeView, MatchCount };

} // namespace

int DeviceViewBinding::chooseView(const QList<QPhoneWidget*>& views, const FlashDevice2& device)
{
    const QString socSerial = device.getSocSerial();
    const QString platformSerial = device.getPlatformSerial();
    const PortNumber port = device.getPort();
    int chosen[MatchCount] = {-1, -1, -1, -1};
    for (int index = 0; index < views.size(); ++index) {
        const QPhoneWidget* view = views.at(index);
        if (!view->isDisconnected())
            continue;
        if (!view->getSocSerial().isEmpty() && view->getSocSerial() == socSerial)
            chosen[SocSerialMatch] = index;   // the last one wins
        else if (!view->getPlatformSerial().isEmpty() && view->getPlatformSerial() == platformSerial)
            chosen[PlatformSerialMatch] = index;
        else if (view->getPort() == port)
            chosen[PortMatch] = index;
        else if (!view->isVisible() && chosen[FreeView] < 0)
            chosen[FreeView] = index;         // the first one wins
    }
    for (int rank : {PortMatch, PlatformSerialMatch, SocSerialMatch, FreeView}) {
        if (chosen[rank] >= 0)
            return chosen[rank];
    }
    return -1;
}

DeviceViewBinding::Outcome DeviceViewBinding::bindDevice(const QList<QPhoneWidget*>& views,
                                                         const DevicePtr& device)
{
    const FlashDevice2Ptr flashDevice = device.dynamicCast<FlashDevice2>();
    if (!flashDevice)
        return Outcome::NoView;
    qDebug() << "do_new_device for QPhoneWidget";
    for (QPhoneWidget* view : views) {
        if (view->getDevice().data() == flashDevice.data()) {
            view->show();
            return Outcome::AlreadyShown;
        }
    }
    const int chosen = chooseView(views, *flashDevice);
    if (chosen < 0)
        return Outcome::NoView;
    createPropertyReader(*flashDevice);
    QPhoneWidget* view = views.at(chosen);
    view->setDevice(flashDevice);
    view->setDeviceVisible(true);
    view->update();
    return Outcome::Bound;
}

void DeviceViewBinding::createPropertyReader(FlashDevice2& device)
{
    // Each reader registers with the device, which owns it (and keeps one of a kind).
    switch (device.getPlatform()) {
    case DevicePlatform::ZorvikAndroid:
    case DevicePlatform::SamsungAndroid:
    case DevicePlatform::GenericAndroid:
        new AndroidDevicePropertyManager(&device, nullptr, FlashUtils::executeAdbCmd,
                                        FlashUtils::executeFastbootCmd);
        break;
    case DevicePlatform::ZorvikSoc:
    case DevicePlatform::ZorvikWindows:
    case DevicePlatform::GenericWindows:
    case DevicePlatform::Generic:
        new AndroidDevicePropertyManager(&device, nullptr, nullptr, nullptr);
        break;
    case DevicePlatform::Unknown:
        break;
    }
}
