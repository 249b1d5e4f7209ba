// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Builds small DBF files byte by byte for the tests, so that every header field can be
// set to exactly the value a case needs (including values no sane writer produces).

#include <qdbf/qdbfformat.h>

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
    quint8 version = QDbf::Format::VersionDBase3;
    quint8 codepageByte = QDbf::Format::CodepageByteIBM866;
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

    int fixedPart() const
    {
        const bool visualFoxPro = version == QDbf::Format::VersionVisualFoxPro
            || version == QDbf::Format::VersionVisualFoxProAutoIncrement;
        return visualFoxPro ? QDbf::Format::VisualFoxProFixedPart : QDbf::Format::DBaseFixedPart;
    }

    int headerLength() const
    {
        return headerLengthOverride >= 0 ? headerLengthOverride
                                         : QDbf::Format::DescriptorSize * fields.size() + fixedPart();
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
        using namespace QDbf::Format;
        const int headerLen = headerLength();
        const int recordLen = recordLength();
        QByteArray out(HeaderSize, '\0');
        out[VersionOffset] = char(version);
        out[DateOffset] = char(124); // 2024-05-17: must survive every write untouched
        out[DateOffset + 1] = char(5);
        out[DateOffset + 2] = char(17);
        qToLittleEndian<quint32>(
            recordCountOverride.value_or(quint32(records.size())), out.data() + RecordCountOffset);
        qToLittleEndian<quint16>(quint16(headerLen), out.data() + HeaderLengthOffset);
        qToLittleEndian<quint16>(quint16(recordLen), out.data() + RecordLengthOffset);
        out[CodepageOffset] = char(codepageByte);
        for (const DbfFieldSpec& f : fields) {
            QByteArray descriptor(DescriptorSize, '\0');
            descriptor.replace(
                0, qMin(DescriptorNameLength, f.name.size()), f.name.left(DescriptorNameLength));
            descriptor[DescriptorTypeOffset] = f.type;
            descriptor[DescriptorLengthOffset] = char(f.length);
            descriptor[DescriptorPrecisionOffset] = char(f.decimals);
            out += descriptor;
        }
        // Terminator and, for Visual FoxPro, the backlink area, up to the header length.
        if (out.size() < headerLen) {
            out += HeaderTerminator;
            out += QByteArray(headerLen - out.size(), '\0');
        }
        out.truncate(qMax(headerLen, HeaderSize));
        for (const QByteArray& r : records)
            out += r.leftJustified(recordLen, ' ', true);
        if (endOfFile)
            out += EndOfFile;
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
