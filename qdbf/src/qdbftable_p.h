// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <qdbf/qdbftable.h>

#include <QByteArray>
#include <QFile>
#include <QPointer>
#include <QSharedData>
#include <QVector>

QT_BEGIN_NAMESPACE
class QTextCodec;
QT_END_NAMESPACE

namespace QDbf {

class QDbfTablePrivate;

// Converts the bytes of one field (possibly fewer than its length when the read came
// short) into its value. Chosen once per field when the table is opened.
using FieldDecoder = QVariant (*)(const QDbfTablePrivate& table, const char* data, int size);

class QDbfTablePrivate : public QSharedData {
public:
    enum HeaderLayout { DBaseLayout = 0, VisualFoxProLayout = 1 };

    explicit QDbfTablePrivate(const QString& name = QString());
    ~QDbfTablePrivate();

    bool open();
    bool openDevice(QIODevice* source, QDbfTable::OpenMode mode);
    bool readHeader();
    void close();
    bool isOpen() const { return device && device->isOpen(); }
    bool readAt(qint64 position, char* data, qint64 size);
    void setCodec();
    QString decode(const char* data, int size) const;
    bool refillText(QVariant& value, const char* data, int size) const;

    bool setCurrentIndex(int index);
    int lastIndex() const;
    QDbfRecord record();

    bool updateRecordInTable(const QDbfRecord& record);
    bool addRecord(const QDbfRecord& record);
    bool removeRecord(int index);
    bool setCodepage(QDbfTable::Codepage codepage);

    bool isRecordOfThisTable(const QDbfRecord& record) const;
    void encodeFields(const QDbfRecord& record, QByteArray& image) const;
    qint64 recordPosition(int index) const;
    bool writeAt(qint64 position, const char* data, qint64 size);
    bool checkWritable();

    QString fileName;
    QDbfTable::TableError error = QDbfTable::NoError;
    // The table's own file when it is opened by name; device points to it or to the caller's.
    QFile file;
    // A caller's device destroyed first leaves the table closed, not dangling.
    QPointer<QIODevice> device;
    // Whether close() closes the device: the table opened it.
    bool closeDevice = false;
    // On a sequential device: the bytes consumed since the table's first byte.
    qint64 streamPosition = 0;
    QDbfTable::OpenMode openMode = QDbfTable::ReadOnly;
    QTextCodec* textCodec = nullptr;
    HeaderLayout headerLayout = DBaseLayout;
    QDbfTable::Codepage codepage = QDbfTable::NoCodepage;
    qint16 headerLength = -1;
    qint16 recordLength = -1;
    qint16 fieldCount = -1;
    int recordCount = -1;
    int currentIndex = -1;
    bool recordCached = false;
    QDbfRecord currentRecord;
    QDbfRecord tableRecord;
    // Whether currentRecord was built from tableRecord since the last open, so that it
    // may be refilled in place.
    bool currentRecordReusable = false;

    // Whether the last open succeeded. A refused file stays open, with header values that
    // may point anywhere; nothing is ever written into it.
    bool accepted = false;

    // For single-byte code pages: the codec's character for every byte, so that a
    // field is decoded by table look-up instead of a codec call. Null otherwise.
    const QChar* byteTable = nullptr;
    QVector<FieldDecoder> decoders;
    QByteArray readBuffer;
};

} // namespace QDbf
