#pragma once

// The frame of the flash editor's flat, read-only lists: rows of shared entities taken from the
// edited flash file, refilled after every edit with the row changes that views and selections
// need. The editor tab owns each list and drives it on the GUI thread; lists never change the file.

#include "loader/FlashFileManager.h"

#include <QAbstractItemModel>
#include <QSharedPointer>
#include <QStringList>
#include <QVector>

template <class Entity>
class EditorItemModel : public QAbstractItemModel
{
public:
    using EntityPtr = QSharedPointer<Entity>;
    using Rows = QVector<EntityPtr>;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override
    {
        return hasIndex(row, column, parent) ? createIndex(row, column) : QModelIndex();
    }
    QModelIndex parent(const QModelIndex&) const override { return QModelIndex(); }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_rows.size();
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_headers.size();
    }
    // Only the root has children: the rows.
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override
    {
        return !parent.isValid() && !m_rows.isEmpty();
    }
    // The lists show the file; the editor's dialogs change it.
    bool setData(const QModelIndex&, const QVariant&, int) override { return false; }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0
            || section >= m_headers.size() || m_headers[section].isNull())
            return QVariant();
        return m_headers[section];
    }

    // A file (or none) to show; the lists start with none.
    void setSource(const QSharedPointer<FlashFileManager>& file)
    {
        beginResetModel();
        sourceChanging(file);
        m_source = file;
        m_rows = m_source ? collectRows(*m_source) : Rows();
        endResetModel();
    }
    // Takes the rows from the source again; the editor calls it after each edit of the file.
    void fillData()
    {
        replaceRows(m_source ? collectRows(*m_source) : Rows());
    }
    void onDataChanged() { fillData(); }

protected:
    explicit EditorItemModel(const QStringList& headers)
        : m_headers(headers)
    {
    }

    // The rows the file gives now, in the order they are shown.
    virtual Rows collectRows(const FlashFileManager& file) = 0;
    // Told before `file` becomes the source.
    virtual void sourceChanging(const QSharedPointer<FlashFileManager>& file) { Q_UNUSED(file) }

    const QSharedPointer<FlashFileManager>& getSource() const { return m_source; }

    // The entity of a row; null for a row out of range.
    EntityPtr entityAt(int row) const
    {
        return row >= 0 && row < m_rows.size() ? m_rows[row] : EntityPtr();
    }
    // The entity of an index of this list; null for any other index.
    EntityPtr entityAt(const QModelIndex& index) const
    {
        return index.isValid() && index.model() == this ? entityAt(index.row()) : EntityPtr();
    }
    // The index of the first row holding this very object, in that column; invalid when the
    // object is null or not listed, or the column is out of range.
    QModelIndex indexOf(const EntityPtr& entity, int column) const
    {
        if (!entity)
            return QModelIndex();
        return index(m_rows.indexOf(entity), column);
    }

private:
    // A row is a position of the file's list: the count changes at the end, then every row is
    // told its data may differ (entities moved, counts, check marks, values). Until the new count
    // is announced, the rows that stay keep their old entities, so a view that reads them between
    // the two signals of an announcement sees what it saw before.
    void replaceRows(const Rows& rows)
    {
        const int oldCount = m_rows.size();
        const int newCount = rows.size();
        if (newCount < oldCount) {
            beginRemoveRows(QModelIndex(), newCount, oldCount - 1);
            m_rows.resize(newCount);
            endRemoveRows();
        } else if (newCount > oldCount) {
            beginInsertRows(QModelIndex(), oldCount, newCount - 1);
            m_rows += rows.mid(oldCount);
            endInsertRows();
        }
        m_rows = rows;
        if (!m_rows.isEmpty())
            emit dataChanged(index(0, 0), index(m_rows.size() - 1, m_headers.size() - 1));
    }

    const QStringList m_headers;  // one per column; null: the column has no header
    QSharedPointer<FlashFileManager> m_source;
    Rows m_rows;
};
