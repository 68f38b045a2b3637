#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class QProcess;

// Test fixture over qlnsim.py: owns a temporary folder with the simulator's state file and fake
// sysfs tree, and points QLN_SIM_STATE and QLN_USB_SYSFS_ROOT at them for its lifetime.
// One per test case; the fake tools it names act on its devices only. Optionally it runs the
// simulator's server, which spares each fake call a Python start-up.
class SimulatedDevices
{
public:
    SimulatedDevices();
    ~SimulatedDevices();
    SimulatedDevices(const SimulatedDevices&) = delete;
    SimulatedDevices& operator=(const SimulatedDevices&) = delete;

    bool isValid() const { return m_valid; }
    // "adb", "fastboot", "dfu-util", "dravikFlashTool": the compiled clients while the server runs,
    // else the Python fakes.
    QString toolPath(const QString& program) const;

    // Starts `qlnsim.py serve` for these devices and points QLN_SIM_SOCKET at it: from now on
    // toolPath() names the compiled clients, which hand their calls to it. It stops with this
    // object. False (and the reason in `error`) when it did not start.
    bool startServer(QString& error);
    bool isServing() const { return m_server != nullptr; }
    // The server's process id (0 while none runs): its reaped children are the fake calls it ran.
    qint64 serverPid() const;
    QString sysfsRoot() const;
    QString statePath() const;
    QString folder() const { return m_folder.path(); }

    // `options` are further ctl words, e.g. {"--vendor", "8087", "--prop", "ro.product.model=X"}.
    bool addDevice(const QString& serial, const QString& port, const QString& state,
                   const QStringList& options = {});
    bool setState(const QString& serial, const QString& state);
    bool setFault(const QString& serial, const QString& knob, const QString& value);
    // A fault that every command of the fakes meets, whichever device it is for ("devices" lists
    // too); an empty value clears it.
    bool setToolFault(const QString& knob, const QString& value);
    bool unplug(const QString& serial);
    bool plug(const QString& serial);

    QJsonObject device(const QString& serial) const;  // empty when there is none
    QStringList commandLog() const;
    // Every fake that ran on these devices, in start order.
    QList<qint64> toolPids() const;
    // The fakes of toolPids() still running, each as "pid: command line". A pid that ended, is a
    // zombie, or now runs another program (reused) is not one.
    QStringList runningTools() const;
    // Kills the fakes of runningTools(): what a hung run left behind.
    void killRunningTools() const;

    // Runs `qlnsim.py ctl <args> --state <file>`; false (and the reason in `output`) when it fails.
    bool control(const QStringList& args, QString* output = nullptr) const;

private:
    void stopServer();

    QTemporaryDir m_folder;
    QByteArray m_previousState;
    QByteArray m_previousSysfs;
    QByteArray m_previousSocket;
    std::unique_ptr<QProcess> m_server;
    bool m_valid = false;
};
