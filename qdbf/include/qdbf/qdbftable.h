// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <qdbf/qdbfglobal.h>
#include <qdbf/qdbfrecord.h>

#include <QExplicitlySharedDataPointer>
#include <QString>
#include <QVariant>

QT_BEGIN_NAMESPACE
class QDebug;
class QIODevice;
QT_END_NAMESPACE

namespace QDbf {

class QDbfTablePrivate;

// A handle on an open DBF table, read from a file by name or from any QIODevice. Copies share
// one device, cursor, cached record and error code; there is no copy-on-write.
//
// On a sequential device (an archive entry, a pipe) the records are read forward only: next(),
// and seek() or last() to a later record, work; reading a record before the last one read
// (previous(), first() or seek() back once a record was read) fails with ReadError. Writing
// (updateRecordInTable, addRecord, removeRecord, setCodepage) needs a device that can seek.
class QDBF_EXPORT QDbfTable {
public:
    enum OpenMode { ReadOnly = 0, ReadWrite = 1 };

    enum Codepage { NoCodepage = 0, IBM866 = 1, Windows1251 = 2, OtherCodepage = 3 };

    enum TableError { NoError = 0, OpenError = 1, ReadError = 2, WriteError = 3, RecordError = 5 };

    QDbfTable();
    explicit QDbfTable(const QString& dbfFileName);
    QDbfTable(const QDbfTable& other);
    QDbfTable& operator=(const QDbfTable& other);
    ~QDbfTable();

    bool operator==(const QDbfTable& other) const;
    bool operator!=(const QDbfTable& other) const { return !operator==(other); }

    bool open(const QString& fileName, OpenMode openMode = ReadOnly);
    bool open(OpenMode openMode = ReadOnly);
    // Reads the table from device, which the table does not own and which must outlive it or
    // the next open. A device that is not open yet is opened in openMode and closed by close();
    // one already open is read from its start, or a sequential one from where it stands.
    bool open(QIODevice* device, OpenMode openMode = ReadOnly);
    void close();
    bool isOpen() const;

    QString fileName() const;
    OpenMode openMode() const;

    Codepage codepage() const;
    bool setCodepage(Codepage codepage);

    TableError error() const;

    int size() const;
    // The header's lengths in bytes, -1 before a successful read of the header.
    int headerLength() const;
    int recordLength() const;

    int at() const;
    bool first();
    bool last();
    bool next();
    bool previous();
    bool seek(int index);

    QDbfRecord record() const;
    QVariant value(int index) const;

    bool updateRecordInTable(const QDbfRecord& record);
    bool addRecord(const QDbfRecord& record);
    bool addRecord();
    bool removeRecord(int index);

private:
    QExplicitlySharedDataPointer<QDbfTablePrivate> d;
};

QDBF_EXPORT QDebug operator<<(QDebug debug, const QDbfTable& table);

} // namespace QDbf
