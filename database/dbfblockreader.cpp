// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbfblockreader.h"

#include <QFile>

namespace {
// DBF header: record count (32 bits) at 4, header length (16) at 8, record length (16) at 10.
constexpr int HeaderPrefix = 12;
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
    const auto byte = [&header](int i) { return quint32(quint8(header.at(i))); };
    check.count = qint32(byte(4) | byte(5) << 8 | byte(6) << 16 | byte(7) << 24);
    const qint64 headerLength = qint64(byte(8) | byte(9) << 8);
    const qint64 recordLength = qint64(byte(10) | byte(11) << 8);
    const qint64 size = file.size();
    check.holds = recordLength > 0 && size > headerLength ? (size - headerLength) / recordLength : 0;
    check.fits = check.count >= 0 && check.count <= check.holds;
    return check;
}
