#include "ui/FlashBasicDialog.h"

#include "loader/ToolConst.h"
#include "ui/FlashBasicWidget.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>

FlashBasicDialog::FlashBasicDialog(QWidget* parent, const FlashDevice2Ptr& device, const QString& flashFile)
    // A title bar without a close button: only the two buttons end the dialog.
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint)
    , m_device(device)
    , m_flashWidget(new FlashBasicWidget(true, this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No, Qt::Horizontal, this))
    , m_flashFile(flashFile)
{
    auto* status = new QLabel(this);
    auto* layout = new QVBoxLayout(this);
    QPushButton* start = m_buttons->button(QDialogButtonBox::Yes);
    QPushButton* cancel = m_buttons->button(QDialogButtonBox::No);
    cancel->setText(tr("Cancel"));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Nothing to leave the dialog with until the tab has reported on the load once.
    start->setEnabled(false);
    cancel->setEnabled(false);
    start->setStyleSheet(start->styleSheet() + ToolConst::StylePushButtonZorvikBlue);
    connect(m_flashWidget, &FlashBasicWidget::flashFileChanged, start, &QPushButton::setEnabled);
    connect(m_flashWidget, &FlashBasicWidget::flashFileChanged, this, &FlashBasicDialog::enableCancelButton);
    connect(m_flashWidget, &FlashBasicWidget::statusText, status, &QLabel::setText);
    status->setWordWrap(true);
    layout->addWidget(m_flashWidget);
    layout->addWidget(status);
    layout->addWidget(m_buttons);

    const QString serial = m_device ? m_device->getSerial() : QString();
    start->setText(serial.isEmpty() ? tr("Start to flash") : tr("Start to flash the device ") + serial);
    setWindowTitle(QCoreApplication::applicationName());
    QMetaObject::invokeMethod(m_flashWidget, "loadLocalFile", Qt::QueuedConnection, Q_ARG(QString, m_flashFile));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setMinimumHeight(180);
}

QSharedPointer<FlashConfiguration> FlashBasicDialog::getCurrentFlashFile() const
{
    return m_flashWidget->getCurrentFlashFile();
}

void FlashBasicDialog::keyPressEvent(QKeyEvent* event)
{
    event->ignore();
}

void FlashBasicDialog::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

void FlashBasicDialog::enableCancelButton()
{
    m_buttons->button(QDialogButtonBox::No)->setEnabled(true);
}
