#include "model/FileCheckScope.h"

#include <QFileInfo>

namespace {

thread_local FileCheckScope* t_current = nullptr;

} // namespace

FileCheckScope::FileCheckScope()
    : m_outer(t_current)
{
    t_current = this;
}

FileCheckScope::~FileCheckScope()
{
    t_current = m_outer;
}

bool FileCheckScope::exists(const QString& path)
{
    FileCheckScope* scope = t_current;
    if (!scope)
        return QFileInfo::exists(path);
    while (scope->m_outer)
        scope = scope->m_outer;
    const auto known = scope->m_answers.constFind(path);
    if (known != scope->m_answers.constEnd())
        return *known;
    const bool found = QFileInfo::exists(path);
    scope->m_answers.insert(path, found);
    return found;
}
