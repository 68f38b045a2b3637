#pragma once

// The program's identity and build data: the entry point publishes them on the application object
// (name, version and the APP_* and FONT_SIZE_* properties), and every part reads them from there
// with QCoreApplication::instance()->property(name). Static only; main thread.

#include <QString>

class QCoreApplication;

class ApplicationInfo
{
public:
    ApplicationInfo() = delete;

    // Sets the application name ("Zorvik® Quillon Lite") and version, then the properties.
    static void publish(QCoreApplication& application);

    // "Zorvik(R) Quillon Lite V <version> <arch> (build on <build time>)", from the published data.
    static QString versionLine();
};
