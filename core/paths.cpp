// SPDX-License-Identifier: GPL-3.0-or-later
#include "paths.h"

#include "schema.h"

namespace Paths {

namespace {

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

} // namespace Paths
