// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbfblockreader.h"

#include <qdbf/qdbfformat.h>

#include <QFile>
#include <QtEndian>

namespace {
// The header up to the record length, the last of the three values the check reads.
constexpr int HeaderPrefix = QDbf::Format::RecordLengthOffset + 2;
} // namespace

bool DbfBlockReader::open(const QString& path)
{
    m_bStarted = false;
    m_bEnded = false;
    m_nVisited = 0;
    m_nRows = 0;
    return m_Table.open(path, QDbf::QDbfTable::ReadOnly);
}

QString DbfBlockReader::text(const QDbf::QDbfRecord& record, int nColumn)
{
    const QVariant value = record.value(nColumn);
    return value.type() == QVariant::String ? value.toString().trimmed() : value.toString();
}

DbfBlockReader::HeaderCheck DbfBlockReader::checkHeader(const QString& path)
{
    HeaderCheck check;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return check;
    const QByteArray header = file.read(HeaderPrefix);
    if (header.size() < HeaderPrefix)
        return check;
    const char* bytes = header.constData();
    // Read as signed: a count with the top bit set is damage, not two billion records.
    check.count = qFromLittleEndian<qint32>(bytes + QDbf::Format::RecordCountOffset);
    const qint64 headerLength = qFromLittleEndian<quint16>(bytes + QDbf::Format::HeaderLengthOffset);
    const qint64 recordLength = qFromLittleEndian<quint16>(bytes + QDbf::Format::RecordLengthOffset);
    const qint64 size = file.size();
    check.holds = recordLength > 0 && size > headerLength ? (size - headerLength) / recordLength : 0;
    check.fits = check.count >= 0 && check.count <= check.holds;
    return check;
}
