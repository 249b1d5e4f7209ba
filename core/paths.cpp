// SPDX-License-Identifier: GPL-3.0-or-later
#include "paths.h"

#include "schema.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace Paths {

namespace {

#ifdef Q_OS_UNIX
    bool statFile(const QString& fileName, struct stat* status)
    {
        return ::stat(QFile::encodeName(fileName).constData(), status) == 0;
    }

    QByteArray identity(const struct stat& status)
    {
        return QByteArray::number(quint64(status.st_dev)) + ':' + QByteArray::number(quint64(status.st_ino));
    }
#endif

    bool isSeparator(QChar c)
    {
        return c == QLatin1Char('/') || c == QLatin1Char('\\');
    }

} // namespace

QString join(const QString& dir, const QString& name)
{
    if (dir.isEmpty())
        return name;
    if (name.isEmpty())
        return dir;
    int end = dir.size();
    // The root directory keeps its one separator.
    while (end > 1 && isSeparator(dir.at(end - 1)))
        --end;
    int start = 0;
    while (start < name.size() && isSeparator(name.at(start)))
        ++start;
    QString left = dir.left(end);
    if (left.size() == 1 && isSeparator(left.at(0)))
        return QLatin1Char('/') + name.mid(start);
    return left + QLatin1Char('/') + name.mid(start);
}

QString databaseFile(const QString& localDbDir)
{
    return join(localDbDir, QLatin1String(Schema::DatabaseFileName));
}

QString lockFile(const QString& databaseFile)
{
    return databaseFile + QStringLiteral(".lock");
}

QByteArray fileIdentity(const QString& fileName)
{
#ifdef Q_OS_UNIX
    struct stat status { };
    return statFile(fileName, &status) ? identity(status) : QByteArray();
#else
    Q_UNUSED(fileName);
    return QByteArray();
#endif
}

QByteArray fileStamp(const QString& fileName)
{
#ifdef Q_OS_UNIX
    struct stat status { };
    if (!statFile(fileName, &status))
        return QByteArray();
    return identity(status) + ':' + QByteArray::number(qint64(status.st_size)) + ':'
        + QByteArray::number(qint64(status.st_mtim.tv_sec)) + '.'
        + QByteArray::number(qint64(status.st_mtim.tv_nsec));
#else
    Q_UNUSED(fileName);
    return QByteArray();
#endif
}

} // namespace Paths
