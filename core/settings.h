// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Velmora.ini beside the executable and the update descriptor update.info at the update
// location. A directory and the file name after it are joined with exactly one separator
// (Paths::join), so "/srv/update" with "KLADR.sqlite" and "./" with "/update.info" both work.
namespace Settings {

inline constexpr const char* SettingsFileName = "Velmora.ini";
inline constexpr const char* DescriptorFileName = "update.info";

// Local database directory: LocalDB/Path (default appDir) with every "%HOME%" (case-sensitive)
// replaced by the home directory. A directory named through %HOME% is created when missing.
QString readLocalDbDir(const QString& appDir);

struct UpdateLocation {
    QString updatePath; // Updater/UpdatePath, default the local database directory
    QString descriptorPath; // updatePath joined with Updater/InfoFile (default "/update.info")
    bool configured = false; // Velmora.ini names an update location (a non-empty UpdatePath)
};
UpdateLocation readUpdateLocation(const QString& appDir, const QString& localDbDir);

struct UpdateDescriptor {
    QString version; // DataBase/Version; empty means nothing is offered
    QString filePath; // updatePath joined with DataBase/FileName (default "/KLADR.sqlite")
    QString fileType; // DataBase/FileType, default "RAW"
    bool isZip = false; // fileType is exactly "ZIP"
};
// The caller has checked that the descriptor is readable.
UpdateDescriptor readDescriptor(const QString& descriptorPath, const QString& updatePath);

bool isZipType(const QString& fileType);

// The offer a publication makes: update.info with Version, FileName and FileType, in
// Windows-1251 as every descriptor. Written to path as it stands; the caller puts it in place.
bool writeDescriptor(const QString& path, const QString& version, const QString& fileName, bool bZip);

// Publication: each file is written only when it does not exist yet. False when it had to be
// written and could not be.
bool writeSettingsIfMissing(const QString& appDir, const QString& localDbDir);
bool writeDescriptorIfMissing(const QString& appDir, const QString& version);

} // namespace Settings
