#include "core/ToolPathTable.h"

void ToolPathTable::set(const QString& id, const QString& path)
{
    QWriteLocker locker(&m_lock);
    m_paths.insert(id, path);
}

QString ToolPathTable::get(const QString& id) const
{
    QReadLocker locker(&m_lock);
    return m_paths.value(id);
}

bool ToolPathTable::remove(const QString& id)
{
    QWriteLocker locker(&m_lock);
    return m_paths.remove(id) != 0;
}

QMap<QString, QString> ToolPathTable::all() const
{
    QReadLocker locker(&m_lock);
    return m_paths;
}

void ToolPathTable::clear()
{
    QWriteLocker locker(&m_lock);
    m_paths.clear();
}
