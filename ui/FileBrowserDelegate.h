#pragma once

// Item delegate that edits one column of a table with a FileBrowserWidget and keeps the texts of a
// key column unique among sibling rows ("name", "name (1)", "name (2)"): the options dialog's
// external tools and the parameter editor's options.

#include <QStyledItemDelegate>

class FileBrowserDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // Called for every item once the standard style option is filled (colours, fonts of cells
    // whose paths are missing or unusable).
    using StyleCallback = void (*)(QStyleOptionViewItem* option, const QModelIndex& index);

    explicit FileBrowserDelegate(QObject* parent = nullptr);

    void setStyleCallback(StyleCallback callback);
    void setFileFilters(const QString& filters);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

signals:
    // After every write back into the model.
    void dataChanged(const QModelIndex& index) const;

public slots:
    // -1: none.
    void setKeyColumn(int column);
    void setFileBrowserColumn(int column);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    // `entered`, or "entered (n)" with the smallest n that no sibling key cell holds.
    QString uniqueKey(const QString& entered, const QModelIndex& index) const;

    int m_fileBrowserColumn = -1;
    int m_keyColumn = -1;
    StyleCallback m_styleCallback = nullptr;
    QString m_fileFilters;
};
