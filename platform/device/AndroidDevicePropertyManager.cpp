#include "platform/device/AndroidDevicePropertyManager.h"

#include "platform/device/Device.h"

#include <QRegularExpression>

namespace {

const int kPropertyTimeoutMs = 5000;

} // namespace

AndroidDevicePropertyManager::AndroidDevicePropertyManager(Device* device, SpidDatabase*,
                                                           CommandRunner adbRunner,
                                                           CommandRunner fastbootRunner)
    : DevicePropertyManager(device)
    , m_adbRunner(adbRunner)
    , m_fastbootRunner(fastbootRunner)
{
    if (device)
        device->addPropertyManager(this);
}

void AndroidDevicePropertyManager::adopt(const DevicePropertyManager& newer)
{
    const auto& reader = static_cast<const AndroidDevicePropertyManager&>(newer);
    if (!m_adbRunner)
        m_adbRunner = reader.m_adbRunner.load();
    if (!m_fastbootRunner)
        m_fastbootRunner = reader.m_fastbootRunner.load();
}

QString AndroidDevicePropertyManager::getVendorName() const
{
    const QString manufacturer = getProperty(QStringLiteral("ro.product.manufacturer"));
    if (!manufacturer.isEmpty())
        return manufacturer;
    return getDevice() ? getDevice()->getVendorName() : QString();
}

QString AndroidDevicePropertyManager::getProductName() const
{
    QString product = getProperty(QStringLiteral("ro.product.model"));
    if (product.isEmpty())
        product = getFastbootVariable(QStringLiteral("product"));
    if (!product.isEmpty())
        return product;
    return getDevice() ? getDevice()->getProductName() : QString();
}

uint8_t AndroidDevicePropertyManager::getBatteryLevel() const
{
    const QString report = runAdb({QStringLiteral("shell"), QStringLiteral("dumpsys"),
                                   QStringLiteral("battery")});
    static const QRegularExpression level(QStringLiteral("^\\s*level:\\s*(\\d+)\\s*$"),
                                          QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = level.match(report);
    if (!match.hasMatch())
        return UnknownBatteryLevel;
    const uint value = match.captured(1).toUInt();
    return value <= 100 ? uint8_t(value) : UnknownBatteryLevel;
}

QString AndroidDevicePropertyManager::getProperty(const QString& key) const
{
    const QString value = runAdb({QStringLiteral("shell"), QStringLiteral("getprop"), key}).trimmed();
    // getprop prints an empty line for a property that does not exist.
    return value.isEmpty() ? QString() : value;
}

bool AndroidDevicePropertyManager::isAdbReachable() const
{
    if (!m_adbRunner || !getDevice() || !getDevice()->isConnected())
        return false;
    const DeviceState state = getDevice()->getState();
    return state == DeviceState::MainOs || state == DeviceState::Cos;
}

bool AndroidDevicePropertyManager::isFastbootReachable() const
{
    if (!m_fastbootRunner || !getDevice() || !getDevice()->isConnected())
        return false;
    const DeviceState state = getDevice()->getState();
    return state == DeviceState::ProvisioningOs || state == DeviceState::Tos;
}

QString AndroidDevicePropertyManager::runAdb(const QStringList& arguments) const
{
    if (!isAdbReachable())
        return QString();
    QString output;
    if (m_adbRunner.load()(getDevice(), arguments, kPropertyTimeoutMs, output) != 0)
        return QString();
    return output;
}

QString AndroidDevicePropertyManager::getFastbootVariable(const QString& name) const
{
    if (!isFastbootReachable())
        return QString();
    QString output;
    if (m_fastbootRunner.load()(getDevice(), {QStringLiteral("getvar"), name}, kPropertyTimeoutMs, output) != 0)
        return QString();
    const QString prefix = name + QLatin1Char(':');
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(prefix))
            return trimmed.mid(prefix.size()).trimmed();
    }
    return QString();
}
