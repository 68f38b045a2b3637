#include "engine/RebootPlan.h"

#include "core/FlashTypes.h"

bool RebootPlan::isAutomaticRebootSupported(DevicePlatform platform)
{
    switch (platform) {
    case DevicePlatform::ZorvikSoc:
    case DevicePlatform::ZorvikWindows:
    case DevicePlatform::GenericWindows:
    case DevicePlatform::GenericAndroid:
    case DevicePlatform::Generic:
        return false;
    default:
        return true;
    }
}

RebootPlan::RebootPlan(const QString& serial, DeviceState current, DeviceState target,
                       DevicePlatform platform)
{
    switch (current) {
    case DeviceState::MainOs:
    case DeviceState::RecoveryOs:
    case DeviceState::Cos:
    case DeviceState::Tos:
        m_tool = Tool::Adb;
        m_progressText = QStringLiteral("Reboot device %1 with ADB...").arg(serial);
        break;
    case DeviceState::ProvisioningOs:
        m_tool = Tool::Fastboot;
        m_progressText = QStringLiteral("Reboot device %1 with Fastboot...").arg(serial);
        break;
    default:
        m_refusal = QStringLiteral("Don't know how to reboot device %1, state is '%2'")
                        .arg(serial, FlashTypes::getStateName(current));
        return;
    }
    chooseArguments(serial, current, target, platform);
    if (!m_refusal.isEmpty()) {
        m_tool = Tool::None;
        m_arguments.clear();
    }
}

void RebootPlan::chooseArguments(const QString& serial, DeviceState current, DeviceState target,
                                 DevicePlatform platform)
{
    const QString reboot = QStringLiteral("reboot");
    const QString currentName = FlashTypes::getStateName(current);
    // "tos" reaches DnX firmware only.
    const bool fromTos = current == DeviceState::Tos;
    switch (target) {
    case DeviceState::DnxFirmware:
        m_arguments = QStringList{reboot};
        return;
    case DeviceState::DnxOs:
        if (fromTos)
            m_refusal = QStringLiteral("Don't know how to reboot device %1 to DnS OS from '%2'").arg(serial, currentName);
        else if (m_tool == Tool::Fastboot)
            m_arguments = QStringList{QStringLiteral("oem"), reboot, QStringLiteral("dnx")};
        else
            m_arguments = QStringList{reboot, QStringLiteral("dnx")};
        return;
    case DeviceState::ProvisioningOs:
        if (fromTos) {
            m_refusal = QStringLiteral("Don't know how to reboot device %1 to Provisioning OS from '%2'")
                            .arg(serial, currentName);
            return;
        }
        m_arguments = QStringList{reboot};
        if (platform == DevicePlatform::ZorvikAndroid)
            m_arguments << QStringLiteral("bootloader");
        else if (platform == DevicePlatform::SamsungAndroid)
            m_arguments << QStringLiteral("downloader");
        return;
    case DeviceState::MainOs:
        if (fromTos)
            m_refusal = QStringLiteral("Don't know how to reboot device %1 to Main OS from '%2'").arg(serial, currentName);
        else
            m_arguments = QStringList{reboot};
        return;
    default:
        m_refusal = QStringLiteral("Don't know how to reboot device %1 to '%2'")
                        .arg(serial, FlashTypes::getStateName(target));
        return;
    }
}
