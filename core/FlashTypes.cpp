#include "core/FlashTypes.h"

#include <QtDebug>

#include <utility>
#include <vector>

namespace {

using StateKeyword = std::pair<DeviceState, const char*>;

// Old generation: the first seven entries; new generation: entries three to nine.
const std::vector<StateKeyword>& stateKeywords()
{
    static const std::vector<StateKeyword> keywords{
        {DeviceState::DnxFirmware, "dnx"},  {DeviceState::DnxOs, "dnx_pos"},
        {DeviceState::Cos, "cos"},          {DeviceState::MainOs, "mos"},
        {DeviceState::ProvisioningOs, "pos"}, {DeviceState::RecoveryOs, "ros"},
        {DeviceState::Tos, "tos"},          {DeviceState::DnxFirmware, "dnx_fw"},
        {DeviceState::DnxOs, "dnx_os"},
    };
    return keywords;
}

constexpr size_t OldSliceBegin = 0;
constexpr size_t OldSliceEnd = 7;
constexpr size_t NewSliceBegin = 2;
constexpr size_t NewSliceEnd = 9;

const std::vector<std::pair<const char*, DevicePlatform>>& platformKeywords()
{
    static const std::vector<std::pair<const char*, DevicePlatform>> keywords{
        {"zorvik_soc", DevicePlatform::ZorvikSoc},
        {"zorvik_android", DevicePlatform::ZorvikAndroid},
        {"samsung_android", DevicePlatform::SamsungAndroid},
        {"zorvik_windows", DevicePlatform::ZorvikWindows},
        {"generic_windows", DevicePlatform::GenericWindows},
        {"generic_android", DevicePlatform::GenericAndroid},
        {"generic", DevicePlatform::Generic},
    };
    return keywords;
}

bool usesNewNames(FlashTypes::StateMapVersion version)
{
    return version >= 1 && version <= 4;
}

} // namespace

std::map<QString, DeviceState> FlashTypes::getStateMap(StateMapVersion version)
{
    const std::vector<StateKeyword>& keywords = stateKeywords();
    const size_t end = version == StateMapV2p0 ? OldSliceEnd : keywords.size();
    std::map<QString, DeviceState> map;
    for (size_t i = OldSliceBegin; i < end; ++i)
        map.emplace(QString::fromLatin1(keywords[i].second), keywords[i].first);
    return map;
}

std::map<DeviceState, QString> FlashTypes::getStateNameMap(StateMapVersion version)
{
    const std::vector<StateKeyword>& keywords = stateKeywords();
    const bool newNames = usesNewNames(version);
    const size_t begin = newNames ? NewSliceBegin : OldSliceBegin;
    const size_t end = newNames ? NewSliceEnd : OldSliceEnd;
    std::map<DeviceState, QString> map;
    for (size_t i = begin; i < end; ++i)
        map[keywords[i].first] = QString::fromLatin1(keywords[i].second);
    return map;
}

QString FlashTypes::getStateName(DeviceState state)
{
    const std::map<DeviceState, QString> names = getStateNameMap(StateMapV3p0);
    const auto found = names.find(state);
    if (found != names.end())
        return found->second;
    qDebug() << "Invalid state" << static_cast<int>(state);
    return QStringLiteral("Invalid state");
}

const std::map<QString, DevicePlatform>& FlashTypes::getPlatformMap()
{
    static const std::map<QString, DevicePlatform> map = [] {
        std::map<QString, DevicePlatform> built;
        for (const auto& entry : platformKeywords())
            built.emplace(QString::fromLatin1(entry.first), entry.second);
        return built;
    }();
    return map;
}

const std::map<DevicePlatform, QString>& FlashTypes::getPlatformNameMap()
{
    static const std::map<DevicePlatform, QString> map = [] {
        std::map<DevicePlatform, QString> built;
        for (const auto& entry : platformKeywords())
            built.emplace(entry.second, QString::fromLatin1(entry.first));
        return built;
    }();
    return map;
}

QString FlashTypes::getCommandTypeName(CommandType type)
{
    switch (type) {
    case CommandType::Ifwi:
        return QStringLiteral("Ifwi");
    case CommandType::Fastboot:
        return QStringLiteral("Fastboot");
    case CommandType::Adb:
        return QStringLiteral("ADB");
    case CommandType::Shell:
        return QStringLiteral("Shell");
    case CommandType::Modem:
        return QStringLiteral("Modem");
    case CommandType::DeviceEnumeration:
        return QStringLiteral("Device enumeration");
    case CommandType::InitialDeviceState:
        return QStringLiteral("Initial device state");
    case CommandType::Popup:
        return QStringLiteral("Popup");
    case CommandType::Notifier:
        return QStringLiteral("Notifier");
    case CommandType::Sleep:
        return QStringLiteral("Sleep");
    case CommandType::Token:
        return QStringLiteral("Token");
    case CommandType::Fls:
        return QStringLiteral("FLS");
    case CommandType::Dfu:
        return QStringLiteral("DFU");
    case CommandType::JLink:
        return QStringLiteral("JLink");
    case CommandType::Controller:
        return QStringLiteral("Controller");
    case CommandType::WrongDeviceType:
        return QStringLiteral("Wrong device type");
    case CommandType::Internal:
        return QStringLiteral("Internal");
    }
    return QStringLiteral("Unknown");
}
