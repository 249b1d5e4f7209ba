// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window tests share: a test directory the window takes as its own, a classifier
// written into its BASE/, and the window's children by object name.

#include "dbfwriter.h"
#include "kladrsample.h"
#include "mainwindow.h"

#include <QDir>
#include <QFile>
#include <QObject>
#include <QSettings>
#include <QTemporaryDir>

namespace WindowFixture {

inline bool writeTable(
    const QString& path, const QVector<DbfWriter::Field>& fields, const QList<QStringList>& rows)
{
    DbfWriter writer;
    if (!writer.open(path, fields))
        return false;
    for (const QStringList& row : rows)
        writer.append(row);
    return writer.close();
}

inline bool writeTable(const QString& path, KladrSample::Table table, const QList<QStringList>& rows)
{
    return writeTable(path, KladrSample::fields(table), rows);
}

// The window's directories and its own settings in dir, not the user's; BASE/ made, holding the
// type dictionary. The path of BASE/, empty when it could not be made.
inline QString useAsAppDir(const QTemporaryDir& dir)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("config")));
    g_AppDir = dir.path();
    g_LocalDbDir = g_AppDir;
    const QString base = dir.filePath(QStringLiteral("BASE"));
    if (!QDir().mkpath(base)
        || !QFile::copy(QStringLiteral(VELMORA_SOCRBASE_DBF), base + QStringLiteral("/SOCRBASE.DBF")))
        return QString();
    return base;
}

template <typename T> T* child(const QObject* window, const char* name)
{
    T* widget = window->findChild<T*>(QLatin1String(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

} // namespace WindowFixture
