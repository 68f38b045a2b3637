#include "tools/CatFlashCommand.h"

#include "core/ApplicationLog.h"
#include "engine/FlashRunner.h"
#include "model/FlashConfiguration.h"
#include "model/FlashParameter.h"
#include "tools/EditorField.h"

#include <QFile>
#include <QRegularExpression>

#include <limits>

namespace {

constexpr uint64_t kNoTimeout = std::numeric_limits<uint64_t>::max();

const std::map<QString, CatFlashCommand::CatMode>& modeWords()
{
    static const std::map<QString, CatFlashCommand::CatMode> words = {
        {QStringLiteral("ascii"), CatFlashCommand::CatMode::Ascii},
        {QStringLiteral("hex"), CatFlashCommand::CatMode::Hex},
    };
    return words;
}

} // namespace

FlashCommand* CatFlashCommand::createCatCommand(const JsonObject& json)
{
    // One reading of the file: no time-out, no retry, whatever the object says.
    JsonObject shell = json;
    shell.setValue(QStringLiteral("timeout"), kNoTimeout);
    shell.setValue(QStringLiteral("retry"), uint64_t(1));
    std::unique_ptr<ShellFlashCommandData> data = getShellCommandData(shell, true);
    if (!data)
        return nullptr;

    QString source;
    if (json.getString(QStringLiteral("source"), source) != JsonObject::Found) {
        ApplicationLog::write(ERROR, QStringLiteral("Missing source in Cat command"));
        return nullptr;
    }
    static const QRegularExpression reference(
        QRegularExpression::anchoredPattern(QStringLiteral("\\$\\{([^\\},]+)(?:,([^\\},]+))?\\}")));
    if (!reference.match(source).hasMatch()) {
        ApplicationLog::write(ERROR, QStringLiteral("Invalid value for source in Cat command"));
        return nullptr;
    }
    CatMode mode = CatMode::Ascii;
    if (json.getEnum(QStringLiteral("mode"), modeWords(), mode) == JsonObject::WrongType) {
        ApplicationLog::write(ERROR, QStringLiteral("Invalid `mode` value type in Cat command"));
        return nullptr;
    }
    return new CatFlashCommand(std::move(data), source, mode);
}

QString CatFlashCommand::toolId()
{
    return QStringLiteral("cat");
}

QString CatFlashCommand::toolName()
{
    return QStringLiteral("Cat");
}

JsonObjectList CatFlashCommand::getJsonEditorInterfaceTemplate()
{
    return JsonObjectList{
        EditorField::hidden(QStringLiteral("tool"), toolId()),
        EditorField::text(QStringLiteral("source"), QStringLiteral("Source"), QString(""))
            .required(true),
        EditorField::combobox(QStringLiteral("mode"), QStringLiteral("Mode"), QStringLiteral("ascii"),
                              {{QStringLiteral("ascii"), QStringLiteral("ASCII")},
                               {QStringLiteral("hex"), QStringLiteral("Hexa")}}),
        EditorField::text(QStringLiteral("description"), QStringLiteral("Description"),
                          QStringLiteral("Add a description here"))
            .required(true),
    };
}

CatFlashCommand::CatFlashCommand(std::unique_ptr<ShellFlashCommandData> data,
                                 const QString& source, CatMode mode)
    : ShellFlashCommand(std::move(data))
    , m_source(source)
    , m_mode(mode)
{
}

QString CatFlashCommand::getUserFriendlyCommand(const SharedPointer<FlashRunner>& runner) const
{
    const QString& description = getShellData().description;
    return runner.isNull() ? description : replaceParameters(*runner, description);
}

QString CatFlashCommand::getUserFriendlyCommand(const FlashConfiguration& configuration) const
{
    return replaceParameters(configuration, getShellData().description);
}

QString CatFlashCommand::getLogCommand(const SharedPointer<FlashRunner>& runner) const
{
    return QStringLiteral("cat ") + (runner.isNull() ? m_source : replaceParameters(*runner, m_source));
}

QString CatFlashCommand::getLogCommand(const FlashConfiguration& configuration) const
{
    return QStringLiteral("cat ") + replaceParameters(configuration, m_source);
}

FlashTypes::CommandType CatFlashCommand::getType() const
{
    return FlashTypes::CommandType::Internal;
}

bool CatFlashCommand::isMandatory() const
{
    return true;
}

uint64_t CatFlashCommand::getTimeout() const
{
    return kNoTimeout;
}

std::set<FlashCommand::CommandParameter> CatFlashCommand::getParameterKeys() const
{
    std::set<CommandParameter> keys = FlashCommand::getParameterKeys();
    addParameterKeys(m_source, keys);
    return keys;
}

QString CatFlashCommand::checkParameters(const FlashConfiguration& configuration,
                                         std::set<QString>& definedVariables) const
{
    const QString error = FlashCommand::checkParameters(configuration, definedVariables);
    if (!error.isEmpty())
        return error;
    std::set<CommandParameter> references;
    addParameterKeys(m_source, references);
    if (references.size() != 1)
        return QStringLiteral("Invalid source field value");
    const QString& name = references.begin()->name;
    const QSharedPointer<FlashParameter> parameter = configuration.getParameter(name);
    if (!parameter)
        return QStringLiteral("Parameter ") + name + QStringLiteral(" does not exist");
    if (parameter->getType() != FlashParameter::File
        && parameter->getType() != FlashParameter::TemporaryFile)
        return QStringLiteral("Parameter ") + name
               + QStringLiteral(" must be a file or a temporary file");
    return QString();
}

QString CatFlashCommand::modeWord() const
{
    for (const auto& [word, mode] : modeWords()) {
        if (mode == m_mode)
            return word;
    }
    return QString();
}

JsonObject CatFlashCommand::toJson() const
{
    JsonObject json = FlashCommand::getJsonBase();
    json.setValue(QStringLiteral("tool"), toolId());
    json.setValue(QStringLiteral("source"), m_source);
    json.setValue(QStringLiteral("description"), getShellData().description);
    json.setValue(QStringLiteral("mode"), modeWord());
    return json;
}

QString CatFlashCommand::getToolId() const
{
    return toolId();
}

QString CatFlashCommand::getToolParameters() const
{
    return QStringLiteral("cat ") + m_source;
}

QSharedPointer<FlashCommand> CatFlashCommand::clone() const
{
    return QSharedPointer<FlashCommand>(new CatFlashCommand(*this));
}

JsonObjectList CatFlashCommand::getJsonEditorInterface() const
{
    return fillEditorInterface(getJsonEditorInterfaceTemplate(),
                               {{QStringLiteral("source"), m_source},
                                {QStringLiteral("description"), getShellData().description},
                                {QStringLiteral("mode"), modeWord()}});
}

int CatFlashCommand::performCommandWithOutputBuffer(const SharedPointer<FlashRunner>& runner,
                                                    const SharedPointer<FlashDevice2>&, uint64_t,
                                                    QString& error, QByteArray* output) const
{
    if (runner.isNull()) {
        ApplicationLog::write(TRACE, QStringLiteral("Invalid runner pointer"));
        return PerformFailed;
    }
    bool ok = true;
    const QString path = replaceParameters(*runner, m_source, &ok, &error);
    if (!ok)
        return PerformFailed;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Fail to open file '") + path + QLatin1Char('\'');
        return PerformFailed;
    }
    const QByteArray content = file.readAll();
    file.close();

    QString text;
    switch (m_mode) {
    case CatMode::Ascii: {
        const int nul = content.indexOf('\0');
        text = QString::fromLocal8Bit(nul < 0 ? content : content.left(nul));
        break;
    }
    case CatMode::Hex:
        text = QString::fromLatin1(content.toHex());
        break;
    }
    if (output)
        *output = text.toLocal8Bit();
    return PerformSuccess;
}
