#include "ui/FileBrowserDelegate.h"

#include "ui/FileBrowserWidget.h"

#include <QLayout>
#include <QLineEdit>

FileBrowserDelegate::FileBrowserDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
    , m_fileFilters(QStringLiteral("All file(*)"))
{
}

void FileBrowserDelegate::setStyleCallback(StyleCallback callback)
{
    m_styleCallback = callback;
}

void FileBrowserDelegate::setFileFilters(const QString& filters)
{
    m_fileFilters = filters;
}

void FileBrowserDelegate::setKeyColumn(int column)
{
    m_keyColumn = column;
}

void FileBrowserDelegate::setFileBrowserColumn(int column)
{
    m_fileBrowserColumn = column;
}

QWidget* FileBrowserDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                           const QModelIndex& index) const
{
    if (!index.isValid() || index.column() != m_fileBrowserColumn)
        return QStyledItemDelegate::createEditor(parent, option, index);
    auto* browser = new FileBrowserWidget(parent);
    browser->setAutoFillBackground(true);
    browser->setButtonText(QStringLiteral("..."));
    browser->setFileFilters(m_fileFilters);
    browser->layout()->setSpacing(0);
    // The editor fills the row's height.
    for (QWidget* child : browser->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        QSizePolicy policy = child->sizePolicy();
        policy.setVerticalPolicy(QSizePolicy::Expanding);
        child->setSizePolicy(policy);
    }
    return browser;
}

void FileBrowserDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    if (auto* browser = qobject_cast<FileBrowserWidget*>(editor))
        browser->setFile(index.data(Qt::EditRole).toString());
    else
        QStyledItemDelegate::setEditorData(editor, index);
}

void FileBrowserDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                       const QModelIndex& index) const
{
    if (!model || index.model() != model)
        return;
    auto* browser = qobject_cast<FileBrowserWidget*>(editor);
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (browser)
        model->setData(index, browser->getFile(), Qt::EditRole);
    else if (line && index.column() == m_keyColumn)
        model->setData(index, uniqueKey(line->text(), index), Qt::EditRole);
    else
        QStyledItemDelegate::setModelData(editor, model, index);
    emit dataChanged(index);
}

QString FileBrowserDelegate::uniqueKey(const QString& entered, const QModelIndex& index) const
{
    const QAbstractItemModel* model = index.model();
    const QModelIndex parent = index.parent();
    const int rows = model->rowCount(parent);
    const auto taken = [&](const QString& candidate) {
        for (int row = 0; row < rows; ++row) {
            if (row != index.row()
                && model->index(row, m_keyColumn, parent).data(Qt::DisplayRole).toString() == candidate)
                return true;
        }
        return false;
    };
    QString candidate = entered;
    for (int counter = 1; taken(candidate); ++counter)
        candidate = entered + QStringLiteral(" (") + QString::number(counter) + QLatin1Char(')');
    return candidate;
}

void FileBrowserDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (m_styleCallback)
        m_styleCallback(option, index);
}
