#pragma once

// The flash file both benchmarks use: `count` fastboot flash commands of one image parameter
// ("image.bin"), in a configuration that starts in fastboot. Header-only.

#include <QByteArray>
#include <QFile>
#include <QString>

inline QByteArray generatedFlashFile(int count)
{
    QByteArray commands;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            commands += ",\n";
        commands += QStringLiteral(R"(  {"tool": "fastboot", "args": "flash part%1 ${image}", "timeout": 60000, "retry": 1, "description": "Flash part %1"})")
                        .arg(i)
                        .toUtf8();
    }
    return R"({"flash": {"version": "3.0",
 "parameters": {"image": {"type": "file", "name": "Image", "value": "image.bin", "description": "Image"}},
 "configurations": {"bench": {"name": "Bench", "startState": "pos", "default": true}},
 "commands": [
)" + commands + "\n]}}\n";
}

// Writes `content` to `path` whole; false when it cannot.
inline bool writeWholeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size() && file.flush();
}
