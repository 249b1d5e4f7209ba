// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbfblockreader.h"

#include <qdbf/qdbfrecord.h>

#include <QIODevice>

bool DbfBlockReader::open(const ClassifierSource& source, const QString& fileName, QString* error)
{
    m_pDevice = source.open(fileName, error);
    return m_pDevice && open(m_pDevice.get());
}

bool DbfBlockReader::open(QIODevice* device)
{
    m_bStarted = false;
    m_bEnded = false;
    m_nVisited = 0;
    m_nRows = 0;
    m_nUnreadable = 0;
    return m_Table.open(device, QDbf::QDbfTable::ReadOnly);
}

QString DbfBlockReader::deviceError() const
{
    return m_pDevice ? m_pDevice->errorString() : QString();
}

QString DbfBlockReader::text(const QDbf::QDbfRecord& record, int nColumn)
{
    const QVariant value = record.value(nColumn);
    return value.type() == QVariant::String ? value.toString().trimmed() : value.toString();
}

DbfBlockReader::HeaderCheck DbfBlockReader::checkHeader(QIODevice& device)
{
    QDbf::QDbfTable table;
    // A file that is no DBF table fits here; its step reports it.
    if (!table.open(&device, QDbf::QDbfTable::ReadOnly))
        return HeaderCheck();
    return checkHeader(table, device.size());
}

DbfBlockReader::HeaderCheck DbfBlockReader::checkHeader() const
{
    return checkHeader(m_Table, m_pDevice ? m_pDevice->size() : -1);
}

DbfBlockReader::HeaderCheck DbfBlockReader::checkHeader(const QDbf::QDbfTable& table, qint64 fileSize)
{
    HeaderCheck check;
    const QDbf::QDbfRecord fields = table.record();
    check.fieldsLength = 1;
    for (int i = 0; i < fields.count(); ++i)
        check.fieldsLength += fields.field(i).length();
    check.recordLength = table.recordLength();
    check.size = fileSize;
    check.expected = qint64(table.headerLength()) + qint64(table.size()) * table.recordLength();
    const bool sizeFits = check.size < 0 || check.size == check.expected || check.size == check.expected + 1;
    check.fits = table.size() >= 0 && check.recordLength >= check.fieldsLength && sizeFits;
    return check;
}
