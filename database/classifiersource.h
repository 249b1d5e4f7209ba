// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include <QIODevice>

// Where an import reads the classifier's DBF files from: BASE/ in the local database directory
// (the names in capitals, as always), or what the user gives: a directory or a 7-Zip or ZIP
// archive holding the files at its top or one folder down, the names in any letter case.
//
// Files in an archive are read straight from it, forward only, never unpacked to disk. Each
// open() reads the archive again from its start, so the same file can be read more than once.
// A source can be copied to another thread; every device it opens belongs to the thread that
// opened it. Copies share what they know of the archive.
class ClassifierSource {
public:
    // BASE/ of the local database directory.
    static ClassifierSource baseDirectory(const QString& localDbDir);
    // A directory or an archive file, told apart by what the path is.
    static ClassifierSource from(const QString& path);

    bool isArchive() const { return m_bArchive; }
    bool isBaseDirectory() const { return m_bExactNames; }
    QString location() const { return m_Location; }

    // How the log names a file of this source: its path, or the archive and the entry.
    QString describe(const QString& fileName) const;

    // Opens fileName ("KLADR.DBF") for reading; nullptr with one line naming the archive or
    // directory and the file in *error when it is missing or cannot be read.
    std::unique_ptr<QIODevice> open(const QString& fileName, QString* error) const;

    // Opens each of fileNames once, in the order they are stored (one pass over an archive),
    // and hands it to visit. Files that are missing are reported through *error, as is the
    // first that cannot be read, except in BASE/, where they are passed over; visit returning
    // false stops the pass. Small files read in
    // full by visit may be kept with keep() and are then opened again from memory.
    bool visit(const QStringList& fileNames, const std::function<bool(const QString&, QIODevice&)>& visit,
        QString* error) const;
    // The names of the files the source holds where open() finds them (BASE/: at its top), in
    // the order an archive stores them or by name; empty with the reason in *error when an
    // archive's headers cannot be read. An archive's headers are read once, without its data.
    QStringList fileNames(QString* error) const;
    // Keeps bytes as the whole content of fileName for later open() calls.
    void keep(const QString& fileName, const QByteArray& bytes) const;

private:
    QString findInDirectory(const QString& fileName) const;

    QString m_Location;
    bool m_bArchive = false;
    bool m_bExactNames = false; // BASE/: the names as the program has always looked for them
    QSharedPointer<QHash<QString, QByteArray>> m_Kept;
    // An archive's reader parked after its last entry was read, to go on from there when a
    // later entry is asked for, and the order the entries came in: in a solid 7-Zip archive
    // reaching an entry means decompressing everything before it.
    QSharedPointer<struct ArchivePosition> m_pPosition;
};
