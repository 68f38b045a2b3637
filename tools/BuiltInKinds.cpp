#include "tools/BuiltInKinds.h"

#include "tools/AdbFlashCommand.h"
#include "tools/CatFlashCommand.h"
#include "tools/DFUFlashCommand.h"
#include "tools/DravikFlashCommand.h"
#include "tools/FastbootFlashCommand.h"
#include "tools/NotifierToolFlashCommand.h"
#include "tools/PassFlashCommand.h"
#include "tools/PopupFlashCommand.h"
#include "tools/SetVariableFlashCommand.h"
#include "tools/SleepFlashCommand.h"
#include "tools/WaitForDeviceFlashCommand.h"

const std::vector<BuiltInKind>& BuiltInKinds::all()
{
    // One row per kind, in registration order: {Kind::toolId(), &Kind::create...Command, Internal
    // or UserReplaceable}. An internal kind keeps its id when the tools file names a program for it.
    constexpr bool Internal = false;
    constexpr bool UserReplaceable = true;
    static const std::vector<BuiltInKind> kinds = {
        {SetVariableFlashCommand::toolId(), &SetVariableFlashCommand::createSetVariableCommand, UserReplaceable},
        {AdbFlashCommand::toolId(), &AdbFlashCommand::createAdbCommand, Internal},
        {FastbootFlashCommand::toolId(), &FastbootFlashCommand::createFastbootCommand, Internal},
        {PassFlashCommand::toolId(), &PassFlashCommand::createPassCommand, UserReplaceable},
        {PopupFlashCommand::toolId(), &PopupFlashCommand::createPopupCommand, Internal},
        {NotifierToolFlashCommand::toolId(), &NotifierToolFlashCommand::createNotifierToolCommand, Internal},
        {SleepFlashCommand::toolId(), &SleepFlashCommand::createSleepCommand, Internal},
        {WaitForDeviceFlashCommand::toolId(), &WaitForDeviceFlashCommand::createWaitForDeviceCommand, Internal},
        {DravikFlashCommand::toolId(), &DravikFlashCommand::createDravikCommand, Internal},
        {CatFlashCommand::toolId(), &CatFlashCommand::createCatCommand, UserReplaceable},
        {DFUFlashCommand::toolId(), &DFUFlashCommand::createDfuCommand, Internal},
    };
    return kinds;
}

FlashCommand::Factories BuiltInKinds::factories()
{
    // The first creator of an id wins.
    FlashCommand::Factories factories;
    for (const BuiltInKind& kind : all())
        factories.emplace(kind.toolId.toUtf8().toStdString(), kind.creator);
    return factories;
}

void BuiltInKinds::registerAll()
{
    FlashCommand::ms_kFactories = factories();
}
