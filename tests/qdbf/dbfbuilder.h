// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Builds small DBF files byte by byte for the tests, so that every header field can be
// set to exactly the value a case needs (including values no sane writer produces).

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QtEndian>

#include <optional>

struct DbfFieldSpec {
    QByteArray name; // up to 11 raw bytes, zero-filled
    char type;
    quint8 length;
    quint8 decimals = 0;
};

class DbfBuilder {
public:
    quint8 version = 0x03;
    quint8 codepageByte = 0x65;
    QList<DbfFieldSpec> fields;
    QList<QByteArray> records; // flag byte included; padded/cut to the record length
    std::optional<quint32> recordCountOverride; // raw value for header offset 4
    int headerLengthOverride = -1;
    int recordLengthOverride = -1;
    bool endOfFile = true;

    DbfBuilder& field(const QByteArray& name, char type, quint8 length, quint8 decimals = 0)
    {
        fields.append({ name, type, length, decimals });
        return *this;
    }

    DbfBuilder& record(const QByteArray& bytes)
    {
        records.append(bytes);
        return *this;
    }

    int fixedPart() const { return (version == 0x30 || version == 0x31) ? 296 : 33; }

    int headerLength() const
    {
        return headerLengthOverride >= 0 ? headerLengthOverride : 32 * fields.size() + fixedPart();
    }

    int recordLength() const
    {
        if (recordLengthOverride >= 0)
            return recordLengthOverride;
        int length = 1;
        for (const DbfFieldSpec& f : fields)
            length += f.length;
        return length;
    }

    QByteArray bytes() const
    {
        const int headerLen = headerLength();
        const int recordLen = recordLength();
        QByteArray out(32, '\0');
        out[0] = char(version);
        out[1] = char(124); // 2024-05-17: must survive every write untouched
        out[2] = char(5);
        out[3] = char(17);
        qToLittleEndian<quint32>(recordCountOverride.value_or(quint32(records.size())), out.data() + 4);
        qToLittleEndian<quint16>(quint16(headerLen), out.data() + 8);
        qToLittleEndian<quint16>(quint16(recordLen), out.data() + 10);
        out[29] = char(codepageByte);
        for (const DbfFieldSpec& f : fields) {
            QByteArray descriptor(32, '\0');
            descriptor.replace(0, qMin(11, f.name.size()), f.name.left(11));
            descriptor[11] = f.type;
            descriptor[16] = char(f.length);
            descriptor[17] = char(f.decimals);
            out += descriptor;
        }
        // Terminator and, for Visual FoxPro, the backlink area, up to the header length.
        if (out.size() < headerLen) {
            out += '\r';
            out += QByteArray(headerLen - out.size(), '\0');
        }
        out.truncate(qMax(headerLen, 32));
        for (const QByteArray& r : records)
            out += r.leftJustified(recordLen, ' ', true);
        if (endOfFile)
            out += char(0x1A);
        return out;
    }

    bool write(const QString& path) const
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes()) == bytes().size();
    }
};

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
