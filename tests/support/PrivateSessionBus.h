#pragma once

// A session bus of its own for a test: a private dbus-daemon that starts no services, so that
// nothing of the host's desktop answers on it and a test may own any name to stand in for a
// service. It stops, with its process group, when it is destroyed. Owned by the test (or its
// display); any thread that owns it.

#include "TiedChildProcess.h"

#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

class PrivateSessionBus
{
public:
    // Starts the bus; isValid() says whether it runs.
    PrivateSessionBus();
    // Stops the bus; killed with its group when it ignores the request.
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool isValid() const { return m_error.isEmpty(); }
    // Why the bus could not start; empty when it runs.
    QString error() const { return m_error; }
    // The bus's address, as DBUS_SESSION_BUS_ADDRESS takes it.
    QString address() const { return m_address; }

    // Points `environment` at this bus.
    void applyTo(QProcessEnvironment& environment) const;

private:
    QTemporaryDir m_folder;
    TiedChildProcess m_daemon;
    QString m_address;
    QString m_error;
};
