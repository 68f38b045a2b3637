#include "ui/editor/NewConfigurationForm.h"

#include "loader/FlashFileManager.h"
#include "ui/editor/FormWidget.h"
#include "ui/editor/IdentifierCheck.h"

#include <QCoreApplication>
#include <QDialog>
#include <QMessageBox>

#include <memory>

namespace {

JsonObject field(const QString& id, const QString& type, const QString& label)
{
    JsonObject object;
    object.setValue(QStringLiteral("id"), id);
    object.setValue(QStringLiteral("label"), label);
    object.setValue(QStringLiteral("type"), type);
    return object;
}

JsonObject textField(const QString& id, const QString& label, bool required)
{
    JsonObject object = field(id, QStringLiteral("text"), label);
    object.setValue(QStringLiteral("value"), QString(""));
    if (!required)
        object.setValue(QStringLiteral("required"), false);
    return object;
}

JsonObjectList description()
{
    JsonObject hidden = field(QStringLiteral("hiddenToEndUser"), QStringLiteral("checkbox"), QStringLiteral("Hidden to end user"));
    hidden.setValue(QStringLiteral("value"), false);
    JsonObject startState = field(QStringLiteral("startState"), QStringLiteral("combobox"), QStringLiteral("Initial board state"));
    QVariantMap states;
    for (const NewConfigurationForm::StartState& entry : NewConfigurationForm::startStates())
        states.insert(QString::number(int(entry.state)), QString::fromLatin1(entry.text));
    startState.setValue(QStringLiteral("allowedValues"), states);
    startState.setValue(QStringLiteral("value"), QString::number(int(DeviceState::ProvisioningOs)));

    JsonObjectList fields;
    fields << textField(QStringLiteral("id"), QStringLiteral("Identifier"), true)
           << textField(QStringLiteral("name"), QStringLiteral("Name"), true)
           << textField(QStringLiteral("brief"), QStringLiteral("Brief"), false)
           << textField(QStringLiteral("description"), QStringLiteral("Description"), false)
           << textField(QStringLiteral("documentation"), QStringLiteral("Documentation"), false)
           << hidden << startState;
    return fields;
}

QString invalidResponse(const char* id)
{
    return QStringLiteral("Invalid form response for ") + QLatin1String(id);
}

// The answers in the order they are read; the first that has not the expected shape fails. A
// missing optional answer stays empty (or false).
bool readAnswers(const JsonObject& data, NewConfigurationForm::Answers& answers, QString& error)
{
    QVariant state;
    bool isNumber = false;
    if (data.getValue(QStringLiteral("startState"), state) == JsonObject::Found)
        answers.startState = DeviceState(state.toInt(&isNumber));
    if (!isNumber) {
        error = invalidResponse("startState");
        return false;
    }
    const struct
    {
        const char* id;
        QString* value;
        bool required;
    } texts[] = {{"id", &answers.id, true},
                 {"name", &answers.name, true},
                 {"description", &answers.description, false},
                 {"brief", &answers.brief, false},
                 {"documentation", &answers.documentation, false}};
    for (const auto& text : texts) {
        const JsonObject::ConvertResult result = data.getString(QLatin1String(text.id), *text.value);
        if (result == JsonObject::WrongType || (text.required && result != JsonObject::Found)) {
            error = invalidResponse(text.id);
            return false;
        }
    }
    if (data.getBoolean(QStringLiteral("hiddenToEndUser"), answers.hiddenToEndUser) == JsonObject::WrongType) {
        error = invalidResponse("hiddenToEndUser");
        return false;
    }
    return true;
}

// The reason the answers cannot make a configuration of `file`; empty when they can.
QString refusal(const FlashFileManager* file, const NewConfigurationForm::Answers& answers)
{
    const QString refused = IdentifierCheck::refusal(answers.id, file && file->getConfiguration(answers.id));
    if (!refused.isEmpty())
        return refused;
    if (answers.name.isEmpty())
        return QCoreApplication::translate("FlashEditorWidget", "Missing name value");
    return QString();
}

} // namespace

const QVector<NewConfigurationForm::StartState>& NewConfigurationForm::startStates()
{
    static const QVector<StartState> states{{DeviceState::DnxFirmware, "DNX FW"},
                                            {DeviceState::DnxOs, "DNX OS"},
                                            {DeviceState::ProvisioningOs, "Provisioning OS"},
                                            {DeviceState::MainOs, "Main OS"}};
    return states;
}

NewConfigurationForm::Outcome NewConfigurationForm::run(const FlashFileManager* file, Answers& answers, QString& error)
{
    QDialog* dialog = nullptr;
    FormWidget* form = nullptr;
    if (!FormWidget::createFormDialog(description(), dialog, form, nullptr, nullptr))
        return Outcome::InvalidForm;
    const std::unique_ptr<QDialog> owner(dialog);
    dialog->setModal(true);
    while (dialog->exec() == QDialog::Accepted) {
        Answers read;
        if (!readAnswers(form->getFormData(), read, error))
            return Outcome::InvalidAnswer;
        const QString refused = refusal(file, read);
        if (refused.isEmpty()) {
            answers = read;
            return Outcome::Accepted;
        }
        QMessageBox::critical(dialog, QCoreApplication::applicationName(), refused, QMessageBox::Ok);
    }
    return Outcome::Cancelled;
}
