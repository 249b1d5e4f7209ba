#include "threaddatabasecreate.h"

#include "workerhost.h"

ThreadDataBaseCreate::ThreadDataBaseCreate(QObject* parent)
    : QThread(parent)
{
}

ThreadDataBaseCreate::~ThreadDataBaseCreate() = default;

void ThreadDataBaseCreate::setDirectories(const QString& appDir, const QString& localDbDir)
{
    m_AppDir = appDir;
    m_LocalDbDir = localDbDir;
}

void ThreadDataBaseCreate::run()
{
    if (!m_pHost)
        return;
    // The import body lands with the import work.
}
