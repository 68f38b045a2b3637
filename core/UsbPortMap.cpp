#include "core/UsbPortMap.h"

#include "core/ApplicationLog.h"
#include "core/MessageHandler.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("USB_MAP");

} // namespace

UsbPortMap::UsbPortMap() = default;

UsbPortMap::~UsbPortMap() = default;

bool UsbPortMap::loadConfigFile(const QString& path)
{
    m_map.clear();
    MessageHandler* log = MessageHandler::instance();
    const QFileInfo info(path);
    if (!info.exists()) {
        log->logMessage(LOGLEVEL::ERROR, QStringLiteral("Cannot load %1").arg(path));
        return false;
    }
    QSettings settings(info.absoluteFilePath(), QSettings::IniFormat);
    settings.beginGroup(kGroup);
    log->logMessage(LOGLEVEL::INFO, QStringLiteral("Loading USB Map from %1 ...").arg(path));
    const QStringList ports = settings.childKeys();
    for (const QString& port : ports) {
        const QString label = settings.value(port).toString();
        m_map.insert(port, label);
        log->logMessage(LOGLEVEL::DEBUG, QStringLiteral("USB_MAP[%1]=%2").arg(port, label));
    }
    settings.endGroup();
    log->logMessage(LOGLEVEL::INFO, QStringLiteral("USB Map loaded from %1").arg(path));
    m_loaded = true;
    return true;
}

bool UsbPortMap::saveConfigFile(const QString& path) const
{
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(kGroup);
    for (auto it = m_map.cbegin(); it != m_map.cend(); ++it)
        settings.setValue(it.key(), it.value());
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        ApplicationLog::write(LOGLEVEL::ERROR,
                                               QStringLiteral("Cannot save USB Map to %1").arg(path));
        return false;
    }
    return true;
}

QString UsbPortMap::getUsb2Port(const QString& port) const
{
    const auto it = m_map.constFind(port);
    return it != m_map.cend() ? it.value() : port;
}

void UsbPortMap::clear()
{
    m_map.clear();
}
