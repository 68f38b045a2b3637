#pragma once

// What the command-kind tests share: commands made from JSON text, devices with USB ids or a
// network port, a runner whose log and the application log land in one recorder, recording
// stub programs that write the arguments they received, one per line, into a file, editor forms
// written as JSON text, and work on a thread of its own as a flash pool thread would do it.

#include "ModelTestKit.h"
#include "RunnerFixtures.h"

#include "core/FMConst.h"
#include "core/MetaTypes.h"
#include "engine/EngineMetaTypes.h"
#include "engine/FlashDevice2.h"
#include "engine/FlashRunner.h"
#include "loader/ExternalToolManager.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValueFile.h"
#include "model/FlashParameterValueString.h"
#include "platform/json/JsonObjectList.h"
#include "tools/BuiltInKinds.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <memory>

namespace ToolsTestKit {

// The registry of a freshly started program: built-in kinds, no tools.
inline void resetRegistry()
{
    FMConst::resetToDefaults();
    BuiltInKinds::registerAll();
}

// The command of `json`; null when the kind refuses it (its reason is in the application log).
inline QSharedPointer<FlashCommand> command(const QByteArray& json)
{
    JsonObject object;
    if (!object.loadMemory(json))
        return {};
    return FlashCommand::getCommandFromJson(object);
}

// Parameters with one value, under the empty option id.
inline FlashParameterPtr stringParameter(const QString& id, const QString& value)
{
    const std::map<QString, FlashParameterValueString*> values = {
        {QString(""), new FlashParameterValueString(QString(""), value, QString())}};
    return FlashParameterPtr(new FlashParameter(id, id, values));
}

// A configuration with the one string parameter `id` whose only value is `value`.
inline QSharedPointer<FlashConfiguration> configurationWith(const QString& id, const QString& value)
{
    return makeConfiguration(FlashConfiguration::UnknownGroupsEnabled, {{id, stringParameter(id, value)}});
}

inline FlashParameterPtr fileParameter(const QString& id, const QString& path)
{
    const std::map<QString, FlashParameterValueFile*> values = {
        {QString(""), new FlashParameterValueFile(QString(""), path, QString())}};
    return FlashParameterPtr(new FlashParameter(id, id, values));
}

// A device on USB port 1-2 (or on `network`, a "host:port" text, when given).
inline SharedPointer<FlashDevice2> device(const QString& serial, DeviceState state,
                                          uint16_t vendorId = 0, uint16_t productId = 0,
                                          const QString& network = QString())
{
    DummyDevice data = RunnerFixtures::deviceData(state, serial);
    if (!network.isEmpty())
        data.setPort(PortNumber::networkPort(network));
    data.setVendorId(vendorId);
    data.setProductId(productId);
    return SharedPointer<FlashDevice2>(new FlashDevice2(data, nullptr));
}

// A stub that appends its arguments (one per line, then "--") to `record`, prints `output` on
// standard output and `errors` on standard error, and exits with `exitCode`.
inline QString recordingStub(const QTemporaryDir& dir, const QString& name, const QString& record,
                             const QByteArray& output = QByteArray(),
                             const QByteArray& errors = QByteArray(), int exitCode = 0)
{
    const QString outputFile = dir.filePath(name + QStringLiteral(".out"));
    const QString errorFile = dir.filePath(name + QStringLiteral(".err"));
    QFile out(outputFile);
    QFile err(errorFile);
    if (!out.open(QIODevice::WriteOnly) || !err.open(QIODevice::WriteOnly))
        return QString();
    out.write(output);
    err.write(errors);
    const QByteArray body = "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + QFile::encodeName(record)
                            + "'; done\necho -- >> '" + QFile::encodeName(record) + "'\ncat '"
                            + QFile::encodeName(outputFile) + "'\ncat '" + QFile::encodeName(errorFile)
                            + "' >&2\nexit " + QByteArray::number(exitCode);
    return RunnerFixtures::writeFakeProgram(dir, name, body);
}

// The argument lists that a recording stub received, one per run.
inline QList<QStringList> recordedRuns(const QString& record)
{
    QFile file(record);
    QList<QStringList> runs;
    if (!file.open(QIODevice::ReadOnly))
        return runs;
    QStringList current;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line == QLatin1String("--")) {
            runs << current;
            current.clear();
        } else if (!line.isEmpty()) {
            current << line;
        }
    }
    return runs;
}

// What every in-process kind test starts with: the meta-types, the registry of the built-in kinds,
// the application log relayed into `recorder`.
inline void startCommandTests(RecordingLogSink& recorder)
{
    registerMetaTypes();
    registerEngineMetaTypes();
    resetRegistry();
    relayApplicationLog(recorder);
}

// An editor form from the JSON text of its field array.
inline JsonObjectList formFrom(const QByteArray& fields)
{
    JsonObject object;
    JsonObjectList form;
    if (object.loadMemory("{\"form\": " + fields + "}"))
        object.getObjectList(QStringLiteral("form"), form);
    return form;
}

// Each field as one JSON text line, for readable comparisons.
inline QStringList fieldTexts(const JsonObjectList& form)
{
    QStringList texts;
    for (const JsonObject& field : form)
        texts << QString::fromUtf8(field.toJson()).simplified();
    return texts;
}

// Runs `work` on a thread of its own, as a flash pool thread would.
inline std::unique_ptr<QThread> startThread(std::function<void()> work)
{
    std::unique_ptr<QThread> thread(QThread::create(std::move(work)));
    thread->start();
    return thread;
}

} // namespace ToolsTestKit
