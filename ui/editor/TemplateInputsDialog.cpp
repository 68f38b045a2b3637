#include "ui/editor/TemplateInputsDialog.h"

#include "core/CustomEventLoop.h"
#include "ui/editor/FormWidget.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>

#include <memory>

namespace {

enum Answer { AnswerOk = 0, AnswerCancel = 1 };

// The reason the answers cannot be taken yet; empty when they can.
QString refusal(const FormWidget& form)
{
    if (form.hasRequiredFieldsNotSet())
        return QStringLiteral("Some required fields are not set, please fill them!");
    if (form.hasInvalidFiles())
        return QStringLiteral("Some specified files are not found");
    return QString();
}

} // namespace

TemplateInputsDialog::Outcome TemplateInputsDialog::ask(const JsonObjectList& inputs, QString* defaultFolder,
                                                        JsonObject& answers)
{
    QDialog* created = nullptr;
    FormWidget* form = nullptr;
    QDialogButtonBox* buttons = nullptr;
    if (!FormWidget::createFormDialog(inputs, created, form, defaultFolder, &buttons) || !created || !form
        || !buttons) {
        delete created;
        return Outcome::InvalidForm;
    }
    const std::unique_ptr<QDialog> dialog(created);  // the form and buttons go with it

    // Ok must not close the dialog before its answers are checked: the box's own connections go,
    // and every way out ends the local loop instead.
    CustomEventLoop loop;
    buttons->disconnect();
    QObject::connect(buttons->button(QDialogButtonBox::Ok), &QPushButton::clicked, &loop, [&loop] { loop.quit(AnswerOk); });
    QObject::connect(buttons->button(QDialogButtonBox::Cancel), &QPushButton::clicked, &loop,
                     [&loop] { loop.quit(AnswerCancel); });
    QObject::connect(dialog.get(), &QDialog::rejected, &loop, [&loop] { loop.quit(AnswerCancel); });
    dialog->setModal(true);

    for (;;) {
        dialog->show();
        if (loop.exec() != AnswerOk)
            return Outcome::Cancelled;
        const QString reason = refusal(*form);
        if (reason.isEmpty())
            break;
        QMessageBox::critical(dialog.get(), QCoreApplication::applicationName(), reason, QMessageBox::Ok);
    }
    dialog->hide();
    answers = form->getFormData();
    return Outcome::Accepted;
}
