// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbfwriter.h"

#include <qdbf/qdbfformat.h>

#include <QTextCodec>
#include <QtEndian>

using namespace QDbf::Format;

namespace {

constexpr int BufferLimit = 1 << 20;

// IBM 866 through the codec costs a call per value; one table built from the same codec
// gives identical bytes for this single-byte code page.
const std::array<char, 65536>& cp866Table()
{
    static const std::array<char, 65536> table = [] {
        std::array<char, 65536> t;
        t.fill('?');
        for (int c = 0; c < 128; ++c)
            t[c] = char(c);
        QTextCodec* codec = QTextCodec::codecForName("IBM 866");
        for (int b = 128; b < 256; ++b) {
            const char byte = char(b);
            const QString s = codec->toUnicode(&byte, 1);
            if (s.size() == 1 && s.at(0) != QChar::ReplacementCharacter)
                t[s.at(0).unicode()] = byte;
        }
        return t;
    }();
    return table;
}

} // namespace

DbfWriter::~DbfWriter()
{
    if (m_File.isOpen())
        close();
}

bool DbfWriter::open(const QString& path, const QVector<Field>& fields)
{
    m_Fields = fields;
    m_nRecords = 0;
    m_bFailed = false;
    m_Error.clear();
    m_Buffer.clear();
    m_File.setFileName(path);
    if (!m_File.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_Error = m_File.errorString();
        return false;
    }
    m_nRecordLength = 1;
    for (const Field& f : fields)
        m_nRecordLength += f.length;
    const int headerLength = DBaseFixedPart + DescriptorSize * fields.size();

    QByteArray header(HeaderSize, '\0');
    header[VersionOffset] = char(VersionDBase3);
    // A fixed date keeps the files of one seed byte-identical: 2026-12-01.
    header[DateOffset] = char(126);
    header[DateOffset + 1] = char(12);
    header[DateOffset + 2] = char(1);
    qToLittleEndian<quint32>(0, header.data() + RecordCountOffset);
    qToLittleEndian<quint16>(quint16(headerLength), header.data() + HeaderLengthOffset);
    qToLittleEndian<quint16>(quint16(m_nRecordLength), header.data() + RecordLengthOffset);
    header[CodepageOffset] = char(CodepageByteNone);
    for (const Field& f : fields) {
        QByteArray d(DescriptorSize, '\0');
        const QByteArray name = f.name.left(DescriptorNameLength - 1);
        std::copy(name.begin(), name.end(), d.begin());
        d[DescriptorTypeOffset] = f.type;
        d[DescriptorLengthOffset] = char(f.length);
        header += d;
    }
    header += HeaderTerminator;
    m_Buffer = header;
    return true;
}

void DbfWriter::append(const QStringList& values, bool bDeleted)
{
    if (!m_File.isOpen())
        return;
    const auto& table = cp866Table();
    const int start = m_Buffer.size();
    m_Buffer.resize(start + m_nRecordLength);
    char* p = m_Buffer.data() + start;
    *p++ = bDeleted ? DeletedFlag : PresentFlag;
    for (int i = 0; i < m_Fields.size(); ++i) {
        const int length = m_Fields.at(i).length;
        const QString value = i < values.size() ? values.at(i) : QString();
        const int n = qMin(length, value.size());
        const QChar* c = value.constData();
        for (int k = 0; k < n; ++k)
            p[k] = table[c[k].unicode()];
        std::fill(p + n, p + length, ' ');
        p += length;
    }
    ++m_nRecords;
    if (m_Buffer.size() >= BufferLimit)
        flushBuffer();
}

void DbfWriter::flushBuffer()
{
    if (m_Buffer.isEmpty())
        return;
    if (m_File.write(m_Buffer) != m_Buffer.size() && !m_bFailed) {
        m_bFailed = true;
        m_Error = m_File.errorString();
    }
    m_Buffer.clear();
}

bool DbfWriter::close()
{
    if (!m_File.isOpen())
        return false;
    m_Buffer += EndOfFile;
    flushBuffer();
    char count[4];
    qToLittleEndian<quint32>(quint32(m_nRecords), count);
    if (!m_File.seek(RecordCountOffset) || m_File.write(count, 4) != 4) {
        if (!m_bFailed)
            m_Error = m_File.errorString();
        m_bFailed = true;
    }
    m_File.close();
    return !m_bFailed;
}
