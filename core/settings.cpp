// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings.h"

#include "paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTextCodec>

namespace Settings {

namespace {

    const QString DefaultCodePage = QStringLiteral("Windows-1251");

    // CodePage must be read, and its codec installed, before any other key.
    void installCodec(QSettings& settings)
    {
        settings.beginGroup(QStringLiteral("ThisFile"));
        const QString codePage = settings.value(QStringLiteral("CodePage"), DefaultCodePage).toString();
        settings.endGroup();
        if (QTextCodec* codec = QTextCodec::codecForName(codePage.toLatin1()))
            settings.setIniCodec(codec);
    }

    QString readKey(QSettings& settings, const QString& group, const QString& key, const QString& fallback)
    {
        settings.beginGroup(group);
        const QString value = settings.value(key, fallback).toString();
        settings.endGroup();
        return value;
    }

} // namespace

QString readLocalDbDir(const QString& appDir)
{
    QSettings settings(Paths::join(appDir, QLatin1String(SettingsFileName)), QSettings::IniFormat);
    installCodec(settings);
    QString path = readKey(settings, QStringLiteral("LocalDB"), QStringLiteral("Path"), appDir);
    const QString home = QStringLiteral("%HOME%");
    if (!path.contains(home, Qt::CaseSensitive))
        return path;
    path.replace(home, QDir::homePath(), Qt::CaseSensitive);
    // A directory in the user's home is the user's own: made on first use, so that an installed
    // Velmora shows where the classifier files go. Other directories (a share that is not mounted)
    // are never made here.
    if (!QFileInfo::exists(path))
        QDir().mkpath(path);
    return path;
}

UpdateLocation readUpdateLocation(const QString& appDir, const QString& localDbDir)
{
    QSettings settings(Paths::join(appDir, QLatin1String(SettingsFileName)), QSettings::IniFormat);
    installCodec(settings);
    UpdateLocation location;
    const QString configuredPath
        = readKey(settings, QStringLiteral("Updater"), QStringLiteral("UpdatePath"), QString());
    location.configured = !configuredPath.isEmpty();
    location.updatePath
        = readKey(settings, QStringLiteral("Updater"), QStringLiteral("UpdatePath"), localDbDir);
    location.descriptorPath = Paths::join(location.updatePath,
        readKey(
            settings, QStringLiteral("Updater"), QStringLiteral("InfoFile"), QStringLiteral("/update.info")));
    return location;
}

UpdateDescriptor readDescriptor(const QString& descriptorPath, const QString& updatePath)
{
    QSettings settings(descriptorPath, QSettings::IniFormat);
    installCodec(settings);
    UpdateDescriptor descriptor;
    const QString group = QStringLiteral("DataBase");
    descriptor.version = readKey(settings, group, QStringLiteral("Version"), QString());
    descriptor.filePath = Paths::join(
        updatePath, readKey(settings, group, QStringLiteral("FileName"), QStringLiteral("/KLADR.sqlite")));
    descriptor.fileType = readKey(settings, group, QStringLiteral("FileType"), QStringLiteral("RAW"));
    descriptor.isZip = isZipType(descriptor.fileType);
    return descriptor;
}

bool isZipType(const QString& fileType)
{
    return fileType == QLatin1String("ZIP");
}

bool writeSettingsIfMissing(const QString& appDir, const QString& localDbDir)
{
    const QString path = Paths::join(appDir, QLatin1String(SettingsFileName));
    if (QFile::exists(path))
        return true;
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("ThisFile"));
    settings.setValue(QStringLiteral("CodePage"), DefaultCodePage);
    settings.endGroup();
    settings.beginGroup(QStringLiteral("Updater"));
    settings.setValue(QStringLiteral("UpdatePath"), QStringLiteral("./"));
    settings.setValue(QStringLiteral("InfoFile"), QLatin1String(DescriptorFileName));
    settings.endGroup();
    settings.beginGroup(QStringLiteral("LocalDB"));
    settings.setValue(QStringLiteral("Path"), localDbDir + QLatin1Char('/'));
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

// update.info in its encoding, the one shape both the first import's and a publication's take.
static bool writeDescriptorFile(
    const QString& path, const QString& version, const QString& fileName, const QString& fileType)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.setIniCodec(QTextCodec::codecForName("Windows-1251"));
    settings.beginGroup(QStringLiteral("ThisFile"));
    settings.setValue(QStringLiteral("CodePage"), DefaultCodePage);
    settings.endGroup();
    settings.beginGroup(QStringLiteral("DataBase"));
    settings.setValue(QStringLiteral("Version"), version);
    settings.setValue(QStringLiteral("FileName"), fileName);
    settings.setValue(QStringLiteral("FileType"), fileType);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool writeDescriptorIfMissing(const QString& appDir, const QString& version)
{
    const QString path = Paths::join(appDir, QLatin1String(DescriptorFileName));
    if (QFile::exists(path))
        return true;
    return writeDescriptorFile(path, version, QStringLiteral("KLADR.sqlite"),
        QStringLiteral("!!! set RAW or ZIP here !!!. It's better to use ZIP-file. "
                       "Destination zip-file name can be like KLADR.sqlite.zip"));
}

bool writeDescriptor(const QString& path, const QString& version, const QString& fileName, bool bZip)
{
    return writeDescriptorFile(path, version, fileName, bZip ? QStringLiteral("ZIP") : QStringLiteral("RAW"));
}

} // namespace Settings
