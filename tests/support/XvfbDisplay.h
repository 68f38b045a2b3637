#pragma once

// A private X display for desktop tests: an Xvfb server on a free display number (1024x768, 24-bit,
// no window manager, no TCP) and a session bus of its own, so that the programs under test never
// meet the host's display or services. Both stop, with their process groups, when it is destroyed.
// Owned by the test (or its station); any thread that owns it.

#include "PrivateSessionBus.h"
#include "TiedChildProcess.h"

#include <QProcessEnvironment>
#include <QSize>
#include <QString>

class XvfbDisplay
{
public:
    static constexpr int kWidth = 1024;
    static constexpr int kHeight = 768;

    // Starts the server and the bus; isValid() says whether both run.
    XvfbDisplay();
    // Stops the bus and the server; either that ignores the request is killed with its group.
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    bool isValid() const { return m_error.isEmpty(); }
    // Why the display could not start; empty when it runs.
    QString error() const { return m_error; }
    QString name() const { return m_name; }   // ":3"
    QSize size() const { return QSize(kWidth, kHeight); }
    // The display's session bus, where a test may start a stand-in for a desktop service.
    const PrivateSessionBus& bus() const { return m_bus; }

    // Points `environment` at this display and bus, with Qt on X.
    void applyTo(QProcessEnvironment& environment) const;
    // The test's own environment, pointed at this display.
    QProcessEnvironment environment() const;

private:
    void startServer();

    TiedChildProcess m_server;
    PrivateSessionBus m_bus;
    QString m_name;
    QString m_error;
};
