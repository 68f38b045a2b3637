#include "ui/editor/FlashGroupsDialog.h"

#include "model/FlashConfiguration.h"
#include "ui/editor/FormWidget.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

#include <memory>

namespace FlashGroupsDialog {

namespace {

constexpr int kRestoreDefaults = 2;  // the dialog's result for the restore-defaults button

} // namespace

Outcome run(FlashConfiguration& configuration)
{
    QDialog* dialog = nullptr;
    FormWidget* form = nullptr;
    QDialogButtonBox* buttons = nullptr;
    if (!FormWidget::createFormDialog(configuration.getJsonGroupInterface(), dialog, form, buttons))
        return Outcome::InvalidForm;
    const std::unique_ptr<QDialog> owner(dialog);
    QPushButton* restore = buttons->addButton(QDialogButtonBox::RestoreDefaults);
    QObject::connect(restore, &QPushButton::clicked, dialog, [dialog] { dialog->done(kRestoreDefaults); });
    int result = dialog->exec();
    while (result == kRestoreDefaults) {
        form->setForm(configuration.getJsonGroupDefaultInterface());
        result = dialog->exec();
    }
    if (result != QDialog::Accepted)
        return Outcome::Cancelled;
    configuration.setJsonGroupInterfaceResult(form->getFormData());
    return Outcome::Applied;
}

} // namespace FlashGroupsDialog
