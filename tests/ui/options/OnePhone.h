#pragma once

// One simulated phone for the backup and restore tests: a home folder of its own, the device
// simulator with the phone "S" on port 1-2, scanned as the program scans, and its engine device.
// Header-only; one per test function.

#include "DeviceManagerFixture.h"
#include "OptionsHome.h"

#include <QFile>
#include <QWidget>

class OnePhone
{
public:
    // False when the home, the simulator or the scan failed.
    bool attach(const QString& state = QStringLiteral("mos"))
    {
        if (!home.isValid() || !fixture.isValid()
            || !fixture.sim.addDevice(QStringLiteral("S"), QStringLiteral("1-2"), state) || !fixture.scan())
            return false;
        device = fixture.deviceAt<FlashDevice2>(PortNumber::usbPort(QStringLiteral("1-2")));
        return !device.isNull();
    }

    // The fakes still running, killed: what a run left behind that it should not have.
    QStringList leftTools() const
    {
        const QStringList left = fixture.sim.runningTools();
        fixture.sim.killRunningTools();
        return left;
    }

    // An executable adb whose interpreter does not exist, set as the adb tool: it never starts.
    bool breakAdb() const
    {
        QFile script(home.path(QStringLiteral("adb")));
        if (!script.open(QIODevice::WriteOnly) || script.write("#!/nonexistent/interpreter\n") <= 0)
            return false;
        script.close();
        return script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
            && FMConst::setTool(FMConst::ADB_TOOL_ID, script.fileName());
    }

    OptionsHome home; // first: the tool paths the fixture sets outlive its reset
    DeviceManagerFixture fixture{FlashDevice2::DeviceAllocator};
    FlashDevice2Ptr device;
};

// The widget of `dialog` with that object name.
template <class T> T* child(QWidget& dialog, const char* name)
{
    return dialog.findChild<T*>(QLatin1String(name));
}
