#pragma once

#include "core/Singleton.h"

#include <QMap>
#include <QString>

// Operator-given labels of USB ports, read from and written to an INI file (group "USB_MAP": key the
// port identifier the device manager reports, value the label). One instance, created by start-up
// and reached through Singleton<UsbPortMap>::instance(); used on the main thread.
class UsbPortMap : public Singleton<UsbPortMap>
{
public:
    UsbPortMap();
    ~UsbPortMap() override;

    // Empties the map, then reads the file's "USB_MAP" group. False (map left empty) when nothing
    // exists at `path`; a file without the group loads nothing and still counts as loaded.
    bool loadConfigFile(const QString& path);
    // Writes every pair into the file's "USB_MAP" group; other keys and groups stay. Returns false
    // when the file could not be written.
    bool saveConfigFile(const QString& path) const;
    // The label of `port`, even an empty one; `port` itself when it has none.
    QString getUsb2Port(const QString& port) const;
    void clear();

    // True once a load has succeeded; clear() and later failed loads keep it.
    bool isLoaded() const { return m_loaded; }
    const QMap<QString, QString>& getMap() const { return m_map; }

private:
    QMap<QString, QString> m_map;
    bool m_loaded = false;
};
