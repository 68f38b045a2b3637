#include "platform/device/AndroidDevicePropertyManager.h"

#include "platform/device/Device.h"

#include <QRegularExpression>

namespace {

const int kPropertyTimeoutMs = 5000;

// `getprop` without a key lists every property as "[key]: [value]"; an empty value means unset.
QMap<QString, QString> parsePropertyList(const QString& listing)
{
    static const QRegularExpression line(QStringLiteral("^\\[([^\\]]+)\\]: \\[(.*)\\]\\s*$"),
                                         QRegularExpression::MultilineOption);
    QMap<QString, QString> properties;
    QRegularExpressionMatchIterator matches = line.globalMatch(listing);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        const QString value = match.captured(2).trimmed();
        if (!value.isEmpty())
            properties.insert(match.captured(1), value);
    }
    return properties;
}

uint8_t parseBatteryLevel(const QString& report)
{
    static const QRegularExpression level(QStringLiteral("^\\s*level:\\s*(\\d+)\\s*$"),
                                          QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = level.match(report);
    if (!match.hasMatch())
        return AndroidDevicePropertyManager::UnknownBatteryLevel;
    const uint value = match.captured(1).toUInt();
    return value <= 100 ? uint8_t(value) : AndroidDevicePropertyManager::UnknownBatteryLevel;
}

// The value of a fastboot variable in getvar's output, or a null text (getvar exits 0 on FAILED too).
QString fastbootVariable(const QString& output, const QString& name)
{
    const QString prefix = name + QLatin1Char(':');
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(prefix))
            return trimmed.mid(prefix.size()).trimmed();
    }
    return QString();
}

} // namespace

AndroidDevicePropertyManager::AndroidDevicePropertyManager(Device* device, SpidDatabase*,
                                                           CommandRunner adbRunner,
                                                           CommandRunner fastbootRunner)
    : DevicePropertyManager(device)
    , m_adbRunner(adbRunner)
    , m_fastbootRunner(fastbootRunner)
    , m_worker([this] { refresh(); })
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

void AndroidDevicePropertyManager::stop()
{
    m_worker.stop();
}

void AndroidDevicePropertyManager::requestRefresh()
{
    if (getDevice() && !getDevice()->isBusy())
        m_worker.request();
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
    const Answers known = answers();
    QString product = known.properties.value(QStringLiteral("ro.product.model"));
    if (product.isEmpty())
        product = known.fastbootProduct;
    if (!product.isEmpty())
        return product;
    return getDevice() ? getDevice()->getProductName() : QString();
}

uint8_t AndroidDevicePropertyManager::getBatteryLevel() const
{
    std::lock_guard<std::mutex> locker(m_answersMutex);
    return m_answers.batteryLevel;
}

QString AndroidDevicePropertyManager::getProperty(const QString& key) const
{
    std::lock_guard<std::mutex> locker(m_answersMutex);
    return m_answers.properties.value(key);
}

void AndroidDevicePropertyManager::refresh()
{
    Answers fresh;
    bool complete = true;
    if (isAdbReachable())
        complete = readAdbAnswers(fresh);
    else if (isFastbootReachable())
        complete = readFastbootAnswers(fresh);
    // A flash that began meanwhile may have changed the device under the tools: keep what was known.
    if (!complete || getDevice()->isBusy())
        return;
    std::lock_guard<std::mutex> locker(m_answersMutex);
    m_answers = fresh;
}

bool AndroidDevicePropertyManager::readAdbAnswers(Answers& answers) const
{
    if (getDevice()->isBusy())
        return false;
    answers.properties = parsePropertyList(runTool(m_adbRunner, {QStringLiteral("shell"), QStringLiteral("getprop")}));
    if (getDevice()->isBusy())
        return false;
    answers.batteryLevel = parseBatteryLevel(
        runTool(m_adbRunner, {QStringLiteral("shell"), QStringLiteral("dumpsys"), QStringLiteral("battery")}));
    return true;
}

bool AndroidDevicePropertyManager::readFastbootAnswers(Answers& answers) const
{
    if (getDevice()->isBusy())
        return false;
    const QString product = QStringLiteral("product");
    answers.fastbootProduct = fastbootVariable(runTool(m_fastbootRunner, {QStringLiteral("getvar"), product}), product);
    return true;
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

QString AndroidDevicePropertyManager::runTool(const std::atomic<CommandRunner>& runner,
                                              const QStringList& arguments) const
{
    QString output;
    if (runner.load()(getDevice(), arguments, kPropertyTimeoutMs, output) != 0)
        return QString();
    return output;
}

AndroidDevicePropertyManager::Answers AndroidDevicePropertyManager::answers() const
{
    std::lock_guard<std::mutex> locker(m_answersMutex);
    return m_answers;
}
