#pragma once

// The modal dialog that confirms the flash of one device with a given flash file or archive: the
// compact flash tab loads it and picks the configuration, a label shows the tab's status, and the
// dialog ends only through its start and cancel buttons. The main window creates and runs it on
// the GUI thread.

#include "engine/FlashDevice2.h"

#include <QDialog>
#include <QSharedPointer>
#include <QString>

class FlashBasicWidget;
class FlashConfiguration;
class QDialogButtonBox;

class FlashBasicDialog : public QDialog
{
    Q_OBJECT

public:
    // The file is loaded from the event loop, once the caller has shown the dialog.
    FlashBasicDialog(QWidget* parent, const FlashDevice2Ptr& device, const QString& flashFile);

    // The configuration chosen in the tab; null when there is none.
    QSharedPointer<FlashConfiguration> getCurrentFlashFile() const;

protected:
    // Neither Escape nor the window's close button ends the dialog.
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void enableCancelButton();

private:
    FlashDevice2Ptr m_device;
    FlashBasicWidget* m_flashWidget;
    QDialogButtonBox* m_buttons;
    QString m_flashFile;
};
