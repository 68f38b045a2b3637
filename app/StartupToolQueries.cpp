#include "app/StartupToolQueries.h"

#include "core/FlashUtils.h"
#include "engine/FlashManager.h"
#include "tools/DFUFlashCommand.h"
#include "tools/DravikFlashCommand.h"

#include <QStringList>

namespace {

QString adbVersion()
{
    QString output;
    FlashUtils::executeAdbCmd(QStringList{QStringLiteral("version")}, 1000, false, nullptr, output);
    return output.trimmed();
}

} // namespace

void StartupToolQueries::start()
{
    m_dravikVersion = std::async(std::launch::async, &DravikFlashCommand::toolVersion);
    m_dfuVersion = std::async(std::launch::async, &DFUFlashCommand::toolVersion);
    m_adbVersion = std::async(std::launch::async, &adbVersion);
    m_androidSdkFound = std::async(std::launch::async, &FlashManager::checkAndroidSDK);
}

QString StartupToolQueries::takeDravikVersion()
{
    return m_dravikVersion.get();
}

QString StartupToolQueries::takeDfuVersion()
{
    return m_dfuVersion.get();
}

QString StartupToolQueries::takeAdbVersion()
{
    return m_adbVersion.get();
}

bool StartupToolQueries::takeAndroidSdkFound()
{
    return m_androidSdkFound.get();
}
