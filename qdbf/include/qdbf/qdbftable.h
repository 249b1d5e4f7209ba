// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <qdbf/qdbfglobal.h>
#include <qdbf/qdbfrecord.h>

#include <QString>
#include <QVariant>

QT_BEGIN_NAMESPACE
class QDebug;
QT_END_NAMESPACE

namespace QDbf {

class QDbfTablePrivate;

// A handle on an open DBF file. Copies share one file, cursor, cached record and
// error code; there is no copy-on-write.
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
    void close();
    bool isOpen() const;

    QString fileName() const;
    OpenMode openMode() const;

    Codepage codepage() const;
    bool setCodepage(Codepage codepage);

    TableError error() const;

    int size() const;
    int at() const;
    bool first() const;
    bool last() const;
    bool next() const;
    bool previous() const;
    bool seek(int index) const;

    QDbfRecord record() const;
    QVariant value(int index) const;

    bool updateRecordInTable(const QDbfRecord& record);
    bool addRecord(const QDbfRecord& record);
    bool addRecord();
    bool removeRecord(int index);

private:
    QDbfTablePrivate* d;
};

QDBF_EXPORT QDebug operator<<(QDebug debug, const QDbfTable& table);

} // namespace QDbf
