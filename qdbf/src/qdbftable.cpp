// SPDX-License-Identifier: GPL-3.0-or-later
#include "qdbftable_p.h"

#include "qdbffield_p.h"
#include "qdbfrecord_p.h"

#include <qdbf/qdbfformat.h>

#include <QDate>
#include <QDebug>
#include <QTextCodec>
#include <QVarLengthArray>

#include <array>
#include <climits>
#include <cstring>

namespace QDbf {

namespace {

    // The descriptor area stays on the stack up to this size.
    constexpr int kStackDescriptorArea = 256;

    quint16 readUInt16(const char* data)
    {
        return quint16(quint8(data[0]) | (quint8(data[1]) << 8));
    }

    quint32 readUInt32(const char* data)
    {
        return quint32(quint8(data[0])) | (quint32(quint8(data[1])) << 8) | (quint32(quint8(data[2])) << 16)
            | (quint32(quint8(data[3])) << 24);
    }

    bool acceptedVersion(quint8 version, QDbfTablePrivate::HeaderLayout* layout)
    {
        switch (version) {
        case Format::VersionFoxBase:
        case Format::VersionDBase3:
        case Format::VersionDBase4:
        case Format::VersionDBase5:
        case Format::VersionVisualObjects:
            *layout = QDbfTablePrivate::DBaseLayout;
            return true;
        case Format::VersionVisualFoxPro:
        case Format::VersionVisualFoxProAutoIncrement:
            *layout = QDbfTablePrivate::VisualFoxProLayout;
            return true;
        default:
            return false;
        }
    }

    QDbfTable::Codepage codepageFromByte(quint8 byte)
    {
        switch (byte) {
        case Format::CodepageByteNone:
        case Format::CodepageByteIBM866:
            return QDbfTable::IBM866;
        case Format::CodepageByteWindows1251:
            return QDbfTable::Windows1251;
        default:
            return QDbfTable::OtherCodepage;
        }
    }

    // Byte-to-character tables of the two Cyrillic code pages, built once from Qt's codecs.
    // For a stateless single-byte codec decoding byte by byte gives the same text as one
    // codec call, only much faster (Qt backs these codecs with ICU). Null when the codec is
    // missing or turns out not to be single-byte.
    struct ByteTable {
        explicit ByteTable(const char* codecName)
        {
            QTextCodec* codec = QTextCodec::codecForName(codecName);
            if (!codec)
                return;
            for (int byte = 0; byte < 256; ++byte) {
                const char c = char(byte);
                const QString text = codec->toUnicode(&c, 1);
                if (text.size() != 1)
                    return;
                chars[byte] = text.at(0);
            }
            valid = true;
        }

        const QChar* data() const { return valid ? chars.data() : nullptr; }

        std::array<QChar, 256> chars;
        bool valid = false;
    };

    const QChar* byteTableFor(QDbfTable::Codepage codepage)
    {
        if (codepage == QDbfTable::IBM866) {
            static const ByteTable ibm866("IBM 866");
            return ibm866.data();
        }
        if (codepage == QDbfTable::Windows1251) {
            static const ByteTable windows1251("Windows-1251");
            return windows1251.data();
        }
        return nullptr;
    }

    bool isAsciiSpace(char c)
    {
        return c == ' ' || (c >= '\t' && c <= '\r');
    }

    // A decimal integer in the bytes, or 0 when they are not one (as for an all-blank date).
    int parseInt(const char* data, int size)
    {
        if (size <= 0)
            return 0;
        bool ok = false;
        const int value = QString::fromLatin1(data, size).toInt(&ok, 10);
        return ok ? value : 0;
    }

    QVariant decodeCharacter(const QDbfTablePrivate& table, const char* data, int size)
    {
        return table.decode(data, size);
    }

    QVariant decodeDate(const QDbfTablePrivate&, const char* data, int size)
    {
        // yyyyMMdd; bytes missing from a short field count as not a number.
        const int year = parseInt(data, qMin(size, 4));
        const int month = size > 4 ? parseInt(data + 4, qMin(size - 4, 2)) : 0;
        const int day = size > 6 ? parseInt(data + 6, qMin(size - 6, 2)) : 0;
        const QDate date(year, month, day);
        return date.isValid() ? date : QDate();
    }

    // A number in the C locale, blanks around it allowed. A blank field, or text that is no
    // number (asterisks of an overflow, NUL padding), has no value: a null double, not 0.0.
    QVariant decodeNumber(const QDbfTablePrivate&, const char* data, int size)
    {
        // Skip the usual blank padding without allocating; what is left goes through Qt's
        // C-locale conversion. A NUL byte is not blank, so NUL-padded digits are no number.
        while (size > 0 && isAsciiSpace(*data)) {
            ++data;
            --size;
        }
        while (size > 0 && isAsciiSpace(data[size - 1]))
            --size;
        if (size == 0)
            return QVariant(QVariant::Double);
        bool ok = false;
        const double value = QString::fromLatin1(data, size).toDouble(&ok);
        return ok ? QVariant(value) : QVariant(QVariant::Double);
    }

    // T, t, Y, y true; a question mark (the format's "not known") a null bool; anything
    // else false.
    QVariant decodeLogical(const QDbfTablePrivate&, const char* data, int size)
    {
        if (size != 1)
            return false;
        const char c = data[0];
        if (c == '?')
            return QVariant(QVariant::Bool);
        return c == 'T' || c == 't' || c == 'Y' || c == 'y';
    }

    QVariant decodeUndefined(const QDbfTablePrivate&, const char*, int)
    {
        return QVariant();
    }

    struct TypeInfo {
        QVariant::Type type;
        QDbfField::QDbfType dbfType;
        FieldDecoder decoder;
    };

    TypeInfo typeInfoFor(char letter)
    {
        switch (letter) {
        case 'C':
            return { QVariant::String, QDbfField::Character, decodeCharacter };
        case 'D':
            return { QVariant::Date, QDbfField::Date, decodeDate };
        case 'F':
            return { QVariant::Double, QDbfField::Float, decodeNumber };
        case 'L':
            return { QVariant::Bool, QDbfField::Logical, decodeLogical };
        case 'N':
            return { QVariant::Double, QDbfField::Numeric, decodeNumber };
        default:
            return { QVariant::Invalid, QDbfField::UndefinedType, decodeUndefined };
        }
    }

    QByteArray fitLatin1(const QString& text, int length, bool alignRight)
    {
        const QString fitted = alignRight ? text.rightJustified(length, QLatin1Char(' '), true)
                                          : text.leftJustified(length, QLatin1Char(' '), true);
        return fitted.toLatin1();
    }

} // namespace

QDbfTablePrivate::QDbfTablePrivate(const QString& name)
    : fileName(name)
    , textCodec(QTextCodec::codecForLocale())
{
}

QDbfTablePrivate::~QDbfTablePrivate()
{
    close();
}

void QDbfTablePrivate::close()
{
    if (device && closeDevice && device->isOpen())
        device->close();
}

void QDbfTablePrivate::setCodec()
{
    const char* name = nullptr;
    if (codepage == QDbfTable::IBM866)
        name = "IBM 866";
    else if (codepage == QDbfTable::Windows1251)
        name = "Windows-1251";
    QTextCodec* codec = name ? QTextCodec::codecForName(name) : nullptr;
    // A Qt build without the codec falls back to the locale's encoding.
    textCodec = codec ? codec : QTextCodec::codecForLocale();
    byteTable = codec ? byteTableFor(codepage) : nullptr;
}

QString QDbfTablePrivate::decode(const char* data, int size) const
{
    if (size <= 0)
        return QString(QLatin1String(""));
    if (byteTable) {
        QString text(size, Qt::Uninitialized);
        QChar* out = text.data();
        for (int i = 0; i < size; ++i)
            out[i] = byteTable[quint8(data[i])];
        return text;
    }
    return textCodec->toUnicode(data, size);
}

// Writes the decoded text over the previous record's value of the same field when that
// string is no longer shared and has the same length (as blank-padded character fields
// have): the common case of a reading loop, which then allocates nothing per field.
bool QDbfTablePrivate::refillText(QVariant& value, const char* data, int size) const
{
    if (!byteTable || size <= 0 || value.userType() != QMetaType::QString)
        return false;
    QString* text = static_cast<QString*>(value.data());
    if (!text->isDetached() || text->size() != size)
        return false;
    QChar* out = text->data();
    for (int i = 0; i < size; ++i)
        out[i] = byteTable[quint8(data[i])];
    return true;
}

bool QDbfTablePrivate::open()
{
    close();
    file.setFileName(fileName);
    return openDevice(&file, openMode);
}

bool QDbfTablePrivate::openDevice(QIODevice* source, QDbfTable::OpenMode mode)
{
    error = QDbfTable::NoError;
    headerLength = -1;
    recordLength = -1;
    fieldCount = -1;
    recordCount = -1;
    currentIndex = -1;
    recordCached = false;
    tableRecord = QDbfRecord();
    currentRecord = QDbfRecord();
    currentRecordReusable = false;
    decoders.clear();
    readBuffer.clear();
    accepted = false;
    streamPosition = 0;

    if (device != source)
        close();
    device = source;
    closeDevice = false;
    if (!device) {
        error = QDbfTable::OpenError;
        return false;
    }
    if (!device->isOpen()) {
        // ExistingOnly: opening a file for writing must not create an empty one for a wrong name.
        const QIODevice::OpenMode deviceMode = mode == QDbfTable::ReadWrite
            ? QIODevice::ReadWrite | QIODevice::ExistingOnly
            : QIODevice::ReadOnly;
        if (!device->open(deviceMode)) {
            error = QDbfTable::OpenError;
            return false;
        }
        closeDevice = true;
    } else if (!device->isReadable()) {
        error = QDbfTable::OpenError;
        return false;
    }
    return readHeader();
}

// Reads size bytes at the table's byte position: by seeking on a random-access device, by
// reading on from where the last read ended on a sequential one, which cannot go back.
bool QDbfTablePrivate::readAt(qint64 position, char* data, qint64 size)
{
    if (!device->isSequential()) {
        if (device->pos() != position && !device->seek(position))
            return false;
        return device->read(data, size) == size;
    }
    if (position < streamPosition)
        return false;
    if (position > streamPosition) {
        const qint64 skipped = device->skip(position - streamPosition);
        if (skipped > 0)
            streamPosition += skipped;
        if (streamPosition != position)
            return false;
    }
    const qint64 got = device->read(data, size);
    if (got > 0)
        streamPosition += got;
    return got == size;
}

bool QDbfTablePrivate::readHeader()
{
    char header[Format::HeaderSize];
    if (!readAt(0, header, Format::HeaderSize))
        return false;

    HeaderLayout layout = DBaseLayout;
    if (!acceptedVersion(quint8(header[Format::VersionOffset]), &layout))
        return false;
    headerLayout = layout;

    // The count is a 32-bit field but held signed; lengths are 16-bit, held signed too,
    // so anything above 32767 reads negative and is refused below.
    recordCount = int(readUInt32(header + Format::RecordCountOffset));
    headerLength = qint16(readUInt16(header + Format::HeaderLengthOffset));
    recordLength = qint16(readUInt16(header + Format::RecordLengthOffset));
    // record() reads into this buffer and never more than its size.
    readBuffer.resize(qMax<int>(recordLength, 0));

    codepage = codepageFromByte(quint8(header[Format::CodepageOffset]));
    setCodec();

    const int areaLength = headerLength
        - (layout == VisualFoxProLayout ? Format::VisualFoxProFixedPart : Format::DBaseFixedPart);
    // A header length shorter than its fixed part leaves no descriptor area at all.
    if (areaLength < 0)
        return false;
    fieldCount = qint16(areaLength / Format::DescriptorSize);

    QVarLengthArray<char, kStackDescriptorArea> area(areaLength);
    if (areaLength > 0 && !readAt(Format::HeaderSize, area.data(), areaLength))
        return false;

    QDbfRecordPrivate* tableData = tableRecord.d.data();
    tableData->fields.reserve(fieldCount);
    decoders.reserve(fieldCount);
    int offset = 1; // byte 0 of a record is the deletion flag
    for (int k = 0; k < fieldCount; ++k) {
        const char* descriptor = area.constData() + k * Format::DescriptorSize;
        // Zero bytes anywhere in the name are skipped, not taken as its end: some writers
        // leave junk after the first zero, and others pad with zeros in the middle.
        QString name;
        for (int i = 0; i < Format::DescriptorNameLength; ++i) {
            if (descriptor[i] != 0)
                name += decode(descriptor + i, 1);
        }
        const TypeInfo info = typeInfoFor(descriptor[Format::DescriptorTypeOffset]);
        QDbfField field(name, info.type);
        field.setQDbfType(info.dbfType);
        const int length = quint8(descriptor[Format::DescriptorLengthOffset]);
        field.setLength(length);
        field.setPrecision(quint8(descriptor[Format::DescriptorPrecisionOffset]));
        field.setOffset(offset);
        offset += length;
        tableData->fields.append(field);
        decoders.append(info.decoder);
    }
    accepted = true;
    return true;
}

bool QDbfTablePrivate::setCurrentIndex(int index)
{
    if (index != currentIndex) {
        currentIndex = index;
        recordCached = false;
    }
    return true;
}

qint64 QDbfTablePrivate::recordPosition(int index) const
{
    return qint64(headerLength) + qint64(index) * qint64(recordLength);
}

QDbfRecord QDbfTablePrivate::record()
{
    if (recordCached)
        return currentRecord;
    recordCached = true;

    if (currentIndex < 0) {
        currentRecord = tableRecord;
        return currentRecord;
    }

    if (!isOpen()) {
        currentRecord = tableRecord;
        qWarning("QDbfTablePrivate::record(): IODevice is not open");
        return currentRecord;
    }

    // A record the device does not hold in full (the file ends inside it, or a sequential
    // device has already passed it) is no record: its values stay invalid.
    const qint64 position = recordPosition(currentIndex);
    const bool passed = device->isSequential() && position < streamPosition;
    if (readBuffer.isEmpty() || !device->isReadable() || position < 0
        || !readAt(position, readBuffer.data(), readBuffer.size())) {
        currentRecord = tableRecord;
        currentRecord.setRecordIndex(currentIndex);
        error = passed ? QDbfTable::ReadError : QDbfTable::RecordError;
        return currentRecord;
    }
    const qint64 got = readBuffer.size();

    // When nobody holds a copy of the previous record any more, its fields (with the
    // table's definitions) are refilled in place: no allocation of a new record and field
    // vector, and no reference counting of the definitions, for every record.
    if (!currentRecordReusable || currentRecord.d.constData()->ref.loadRelaxed() != 1) {
        currentRecord = tableRecord;
        currentRecordReusable = true;
    }
    QDbfRecordPrivate* data = currentRecord.d.data();
    data->index = currentIndex;
    const char* bytes = readBuffer.constData();
    data->deleted = bytes[0] == Format::DeletedFlag;
    // Every field is cut to what was actually read, whatever its offset and length claim.
    QDbfField* fields = data->fields.data();
    const int count = data->fields.size();
    for (int i = 0; i < count; ++i) {
        const QDbfFieldPrivate* definition = fields[i].d.constData();
        const qint64 start = definition->offset;
        const int size = start < got ? int(qMin<qint64>(definition->length, got - start)) : 0;
        const char* fieldBytes = bytes + (size > 0 ? start : 0);
        if (decoders.at(i) == decodeCharacter && refillText(fields[i].m_value, fieldBytes, size))
            continue;
        fields[i].m_value = decoders.at(i)(*this, fieldBytes, size);
    }
    error = QDbfTable::NoError;
    return currentRecord;
}

bool QDbfTablePrivate::isRecordOfThisTable(const QDbfRecord& record) const
{
    const QVector<QDbfField>& own = tableRecord.d->fields;
    const QVector<QDbfField>& given = record.d->fields;
    if (given.size() < own.size())
        return false;
    for (int i = 0; i < own.size(); ++i) {
        if (!own.at(i).sharesDefinitionWith(given.at(i)))
            return false;
    }
    return true;
}

// Writes every field of a known type into the image, which already holds record-length
// bytes (the record as it is on disk for an update, blanks for an append). Bytes of other
// field types are left as they are. Nothing is written beyond the record length, even when
// the descriptors add up to more.
void QDbfTablePrivate::encodeFields(const QDbfRecord& record, QByteArray& image) const
{
    const QVector<QDbfField>& fields = record.d->fields;
    const int imageSize = image.size();
    image[0] = record.isDeleted() ? Format::DeletedFlag : Format::PresentFlag;
    for (int i = 0; i < tableRecord.d->fields.size(); ++i) {
        const QDbfField& field = fields.at(i);
        const int length = field.length();
        const int offset = field.offset();
        const QVariant value = field.value();
        QByteArray bytes;
        switch (field.dbfType()) {
        case QDbfField::Character: {
            QString text = value.toString().leftJustified(length, QLatin1Char(' '), true);
            bytes = textCodec->fromUnicode(text);
            // A multi-byte locale encoding may need more bytes than the field has: drop
            // whole characters rather than cutting one in half.
            while (bytes.size() > length && !text.isEmpty()) {
                text.chop(1);
                bytes = textCodec->fromUnicode(text);
            }
            if (bytes.size() < length)
                bytes.append(QByteArray(length - bytes.size(), ' '));
            break;
        }
        case QDbfField::Date: {
            const QDate date = value.toDate();
            bytes = fitLatin1(
                date.isValid() ? date.toString(QStringLiteral("yyyyMMdd")) : QString(), length, false);
            break;
        }
        case QDbfField::Float:
        case QDbfField::Numeric:
            bytes = fitLatin1(
                QStringLiteral("%1").arg(value.toDouble(), 0, 'f', field.precision()), length, true);
            break;
        case QDbfField::Logical:
            // One byte is the format's width; a wider field gets blanks after it.
            if (length > 0) {
                bytes = QByteArray(length, ' ');
                bytes[0] = value.toBool() ? 'T' : 'F';
            }
            break;
        case QDbfField::UndefinedType:
            continue;
        }
        const int fit = qBound(0, qMin(bytes.size(), imageSize - offset), length);
        if (offset > 0 && offset < imageSize && fit > 0)
            std::memcpy(image.data() + offset, bytes.constData(), size_t(fit));
    }
}

bool QDbfTablePrivate::checkWritable()
{
    if (!device->isWritable() || device->isSequential()) {
        error = QDbfTable::WriteError;
        return false;
    }
    if (!accepted) {
        error = QDbfTable::OpenError;
        return false;
    }
    return true;
}

bool QDbfTablePrivate::writeAt(qint64 position, const char* data, qint64 size)
{
    if (!device->seek(position)) {
        error = QDbfTable::ReadError;
        return false;
    }
    QFileDevice* fileDevice = qobject_cast<QFileDevice*>(device.data());
    if (device->write(data, size) != size || (fileDevice && !fileDevice->flush())) {
        error = QDbfTable::WriteError;
        return false;
    }
    return true;
}

bool QDbfTablePrivate::updateRecordInTable(const QDbfRecord& record)
{
    if (!isOpen())
        return false;
    if (!checkWritable())
        return false;
    // The record is placed by its own index: one that is not a record of the table would
    // land in the header or past the data, so it is refused before anything is written.
    const int index = record.recordIndex();
    if (index < 0 || index >= recordCount || recordLength < 1) {
        error = QDbfTable::RecordError;
        return false;
    }
    if (!isRecordOfThisTable(record)) {
        error = QDbfTable::WriteError;
        return false;
    }
    // Start from the bytes on disk so that fields of types the library does not
    // understand keep what they held.
    const qint64 position = recordPosition(index);
    QByteArray image(recordLength, Qt::Uninitialized);
    if (!device->seek(position)) {
        error = QDbfTable::ReadError;
        return false;
    }
    if (device->read(image.data(), recordLength) != recordLength) {
        error = QDbfTable::RecordError;
        return false;
    }
    encodeFields(record, image);
    if (!writeAt(position, image.constData(), image.size()))
        return false;
    error = QDbfTable::NoError;
    return true;
}

bool QDbfTablePrivate::addRecord(const QDbfRecord& record)
{
    if (!isOpen()) {
        qWarning("QDbfTablePrivate::addRecord(): IODevice is not open");
        return false;
    }
    if (!checkWritable())
        return false;
    // A negative or exhausted count would place the record inside the header or make the
    // new count wrap around.
    if (recordCount < 0 || recordCount == INT_MAX || recordLength < 1) {
        error = QDbfTable::RecordError;
        return false;
    }
    if (!isRecordOfThisTable(record)) {
        error = QDbfTable::WriteError;
        return false;
    }
    // A header that announces more records than the file holds would have the record
    // written far past the end of the file (a sparse file of gigabytes from a damaged
    // count byte); such a table is refused instead.
    const qint64 position = recordPosition(recordCount);
    if (device->size() < position) {
        error = QDbfTable::RecordError;
        return false;
    }
    QByteArray image(recordLength, ' ');
    encodeFields(record, image);
    image.append(Format::EndOfFile);
    if (!writeAt(position, image.constData(), image.size()))
        return false;

    const quint32 newCount = quint32(recordCount) + 1;
    const char countBytes[4] = { char(newCount & 0xFF), char((newCount >> 8) & 0xFF),
        char((newCount >> 16) & 0xFF), char((newCount >> 24) & 0xFF) };
    if (!writeAt(Format::RecordCountOffset, countBytes, 4))
        return false;
    ++recordCount;
    error = QDbfTable::NoError;
    return true;
}

bool QDbfTablePrivate::removeRecord(int index)
{
    if (!isOpen()) {
        qWarning("QDbfTablePrivate::removeRecord(): IODevice is not open");
        return false;
    }
    if (!checkWritable())
        return false;
    if (index < 0 || index >= recordCount || recordLength < 1) {
        error = QDbfTable::RecordError;
        return false;
    }
    const qint64 position = recordPosition(index);
    if (!device->seek(position)) {
        error = QDbfTable::ReadError;
        return false;
    }
    QByteArray existing(recordLength, Qt::Uninitialized);
    if (device->read(existing.data(), recordLength) != recordLength) {
        error = QDbfTable::RecordError;
        return false;
    }
    if (!writeAt(position, &Format::DeletedFlag, 1))
        return false;
    error = QDbfTable::NoError;
    return true;
}

bool QDbfTablePrivate::setCodepage(QDbfTable::Codepage newCodepage)
{
    if (!isOpen()) {
        qWarning("QDbfTablePrivate::setCodepage(): IODevice is not open");
        return false;
    }
    if (!checkWritable())
        return false;
    char byte = 0;
    switch (newCodepage) {
    case QDbfTable::NoCodepage:
    case QDbfTable::IBM866:
        byte = char(Format::CodepageByteIBM866);
        break;
    case QDbfTable::Windows1251:
        byte = char(Format::CodepageByteWindows1251);
        break;
    default:
        return false;
    }
    if (!writeAt(Format::CodepageOffset, &byte, 1))
        return false;
    codepage = newCodepage;
    setCodec();
    error = QDbfTable::NoError;
    return true;
}

QDbfTable::QDbfTable()
    : d(new QDbfTablePrivate)
{
}

QDbfTable::QDbfTable(const QString& dbfFileName)
    : d(new QDbfTablePrivate(dbfFileName))
{
}

QDbfTable::QDbfTable(const QDbfTable& other) = default;
QDbfTable& QDbfTable::operator=(const QDbfTable& other) = default;
QDbfTable::~QDbfTable() = default;

bool QDbfTable::operator==(const QDbfTable& other) const
{
    // Tables read from devices of their own are the same only on the same device.
    const bool sameSource
        = fileName().isEmpty() ? d->device == other.d->device : fileName() == other.fileName();
    return sameSource && d->headerLayout == other.d->headerLayout && d->codepage == other.d->codepage
        && d->headerLength == other.d->headerLength && d->recordLength == other.d->recordLength
        && d->fieldCount == other.d->fieldCount && d->recordCount == other.d->recordCount;
}

bool QDbfTable::open(const QString& fileName, OpenMode openMode)
{
    d->fileName = fileName;
    return open(openMode);
}

bool QDbfTable::open(OpenMode openMode)
{
    d->openMode = openMode;
    return d->open();
}

bool QDbfTable::open(QIODevice* device, OpenMode openMode)
{
    d->openMode = openMode;
    d->fileName.clear();
    return d->openDevice(device, openMode);
}

void QDbfTable::close()
{
    d->close();
}

bool QDbfTable::isOpen() const
{
    return d->isOpen();
}

QString QDbfTable::fileName() const
{
    const QFileDevice* fileDevice = qobject_cast<const QFileDevice*>(d->device.data());
    return fileDevice ? fileDevice->fileName() : QString();
}

QDbfTable::OpenMode QDbfTable::openMode() const
{
    return d->openMode;
}

QDbfTable::Codepage QDbfTable::codepage() const
{
    return d->codepage;
}

bool QDbfTable::setCodepage(Codepage codepage)
{
    return d->setCodepage(codepage);
}

QDbfTable::TableError QDbfTable::error() const
{
    return d->error;
}

int QDbfTable::size() const
{
    return d->recordCount;
}

int QDbfTable::headerLength() const
{
    return d->headerLength;
}

int QDbfTable::recordLength() const
{
    return d->recordLength;
}

int QDbfTable::at() const
{
    return d->currentIndex;
}

// The index of the last record, or -1 without records. A damaged count can be as low as
// INT_MIN (0x80000000 at offset 4), where count - 1 would overflow.
int QDbfTablePrivate::lastIndex() const
{
    return recordCount > 0 ? recordCount - 1 : -1;
}

bool QDbfTable::first()
{
    // An empty table gives -1; a table never opened (or with a negative count) stays
    // before the first record too instead of moving to an index below -1.
    return d->setCurrentIndex(d->recordCount > 0 ? 0 : -1);
}

bool QDbfTable::last()
{
    return d->setCurrentIndex(d->lastIndex());
}

bool QDbfTable::next()
{
    const int i = d->currentIndex;
    if (i < 0)
        return d->recordCount > 0 ? d->setCurrentIndex(0) : false;
    if (i < d->lastIndex())
        return d->setCurrentIndex(i + 1);
    return false;
}

bool QDbfTable::previous()
{
    const int i = d->currentIndex;
    if (i <= 0)
        return false;
    if (i < d->recordCount)
        return d->setCurrentIndex(i - 1);
    return d->setCurrentIndex(d->lastIndex());
}

bool QDbfTable::seek(int index)
{
    if (index < 0)
        return d->setCurrentIndex(-1);
    if (index >= d->recordCount)
        return d->setCurrentIndex(d->lastIndex());
    return d->setCurrentIndex(index);
}

QDbfRecord QDbfTable::record() const
{
    return d->record();
}

QVariant QDbfTable::value(int index) const
{
    return d->record().value(index);
}

bool QDbfTable::updateRecordInTable(const QDbfRecord& record)
{
    return d->updateRecordInTable(record);
}

bool QDbfTable::addRecord(const QDbfRecord& record)
{
    return d->addRecord(record);
}

bool QDbfTable::addRecord()
{
    QDbfRecord blank = d->record();
    blank.clearValues();
    blank.setDeleted(false);
    return d->addRecord(blank);
}

bool QDbfTable::removeRecord(int index)
{
    return d->removeRecord(index);
}

QDebug operator<<(QDebug debug, const QDbfTable& table)
{
    debug.nospace() << "QDbfTable(" << table.fileName() << ", "
                    << "size: " << table.record().count() << " x " << table.size() << ')';
    return debug.space();
}

} // namespace QDbf
