#include "ui/FileBrowserWidget.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>

FileBrowserWidget::FileBrowserWidget(QWidget* parent)
    : QWidget(parent)
    , m_lineEdit(new QLineEdit(this))
    , m_browseButton(new QToolButton(this))
    , m_dialogTitle(tr("Open file"))
{
    m_browseButton->setText(tr("Browse..."));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_lineEdit);
    layout->addWidget(m_browseButton);
    setTabOrder(m_lineEdit, m_browseButton);
    connect(m_browseButton, &QToolButton::clicked, this, &FileBrowserWidget::onBrowse);
    connect(m_lineEdit, &QLineEdit::textChanged, this, &FileBrowserWidget::fileSelected);
}

void FileBrowserWidget::setWindowType(WindowType type)
{
    m_windowType = type;
    m_dialogTitle = type == Save ? tr("Save file") : tr("Open file");
}

FileBrowserWidget::WindowType FileBrowserWidget::getWindowType() const
{
    return m_windowType;
}

void FileBrowserWidget::setFileFilters(const QString& filters)
{
    m_fileFilters = filters;
}

void FileBrowserWidget::setDialogTitle(const QString& title)
{
    m_dialogTitle = title;
}

void FileBrowserWidget::setButtonText(const QString& text)
{
    m_browseButton->setText(text);
}

void FileBrowserWidget::setDefaultFolderHandle(QString* folder)
{
    m_defaultFolder = folder;
}

QString FileBrowserWidget::getFile() const
{
    return m_lineEdit->text();
}

void FileBrowserWidget::setFile(const QString& path)
{
    m_lineEdit->setText(QDir::toNativeSeparators(path));
}

void FileBrowserWidget::focusInEvent(QFocusEvent* event)
{
    // A view that opens the widget as an editor focuses the widget: the typing goes to the line.
    m_lineEdit->setFocus(Qt::OtherFocusReason);
    event->ignore();
}

void FileBrowserWidget::onBrowse()
{
    QString start = m_lineEdit->text();
    if (start.isEmpty() && m_defaultFolder)
        start = *m_defaultFolder;
    const QString picked = m_windowType == Save
        ? QFileDialog::getSaveFileName(nullptr, m_dialogTitle, start, m_fileFilters)
        : QFileDialog::getOpenFileName(nullptr, m_dialogTitle, start, m_fileFilters);
    if (picked.isEmpty())
        return;
    setFile(picked);
    if (m_defaultFolder)
        *m_defaultFolder = QFileInfo(picked).absolutePath();
}
