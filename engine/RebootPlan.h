#pragma once

// How to reboot a device from the state it is in towards a target state: which program (adb from
// an operating system, fastboot from Provisioning OS) with which arguments, or why it can't be
// done. A value computed from the device's state, target and platform; runs nothing itself.

#include "platform/device/DeviceTypes.h"

#include <QString>
#include <QStringList>

class RebootPlan
{
public:
    enum class Tool { None, Adb, Fastboot };

    // False for the platforms whose devices must be rebooted by hand (SoC boards, Windows and
    // generic devices).
    static bool isAutomaticRebootSupported(DevicePlatform platform);

    // The plan for the device with `serial` (used in the texts). A refused plan has no tool and
    // says why in refusal().
    RebootPlan(const QString& serial, DeviceState current, DeviceState target, DevicePlatform platform);

    Tool tool() const { return m_tool; }
    const QStringList& arguments() const { return m_arguments; }
    // The operator's line before the reboot: "Reboot device <serial> with ADB...".
    const QString& progressText() const { return m_progressText; }
    const QString& refusal() const { return m_refusal; }

private:
    // The arguments for a device that `m_tool` reaches; fills m_refusal when the target can't be reached.
    void chooseArguments(const QString& serial, DeviceState current, DeviceState target,
                         DevicePlatform platform);

    Tool m_tool = Tool::None;
    QStringList m_arguments;
    QString m_progressText;
    QString m_refusal;
};
