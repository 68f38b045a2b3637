#include "ui/editor/CommandFormDialog.h"

#include "model/FlashCommand.h"
#include "ui/editor/FormWidget.h"

#include <QCoreApplication>
#include <QDialog>
#include <QMessageBox>

#include <memory>

namespace CommandFormDialog {

QSharedPointer<FlashCommand> edit(const FlashCommand& command, QString* defaultFolder)
{
    QDialog* dialog = nullptr;
    FormWidget* form = nullptr;
    if (!FormWidget::createFormDialog(command.getJsonEditorInterface(), dialog, form, defaultFolder, nullptr))
        return {};
    const std::unique_ptr<QDialog> owner(dialog);
    dialog->setModal(true);
    if (dialog->exec() != QDialog::Accepted)
        return {};
    const QSharedPointer<FlashCommand> edited = FlashCommand::getCommandFromJson(form->getFormData());
    if (!edited)
        QMessageBox::critical(nullptr, QCoreApplication::applicationName(),
                              QCoreApplication::translate("FlashEditorWidget", "Fail to create command '%1'.")
                                      .arg(command.getToolId())
                                  + QLatin1Char('\n')
                                  + QCoreApplication::translate("FlashEditorWidget", "Check logs for more details."),
                              QMessageBox::Ok);
    return edited;
}

} // namespace CommandFormDialog
