// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: arbitrary bytes opened as a DBF table, every record read through
// QDbfTable and QDbfTableModel, then one update, append and delete mark on a copy,
// checking that no byte outside the written records and header fields changed.
#include <qdbf/qdbftablemodel.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using namespace QDbf;

namespace {

// Huge record counts in a tiny file are legal headers; reading them all would only
// make every input slow. These limits bound one run, not what the library accepts.
constexpr int kMaxTableRecords = 1000;
constexpr int kMaxModelRows = 600;
constexpr int kMaxModelCells = 20000;

void silence(QtMsgType, const QMessageLogContext&, const QString&)
{
}

QString scratchPath(const char* suffix)
{
    return QStringLiteral("%1/fuzz-qdbf-%2-%3.dbf")
        .arg(QFile::exists(QStringLiteral("/dev/shm")) ? QStringLiteral("/dev/shm") : QStringLiteral("/tmp"))
        .arg(getpid())
        .arg(QLatin1String(suffix));
}

bool writeFile(const QString& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    std::fclose(f);
    return ok;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void touch(const QVariant& value)
{
    // Force the conversions a user would do.
    (void)value.toString().size();
}

void readTable(const QString& path)
{
    QDbfTable table(path);
    // A refused table keeps its file open and some header values: read it all the same.
    table.open(QDbfTable::ReadOnly);
    int visited = 0;
    while (visited < kMaxTableRecords && table.next()) {
        const QDbfRecord record = table.record();
        for (int i = 0; i < record.count(); ++i)
            touch(record.value(i));
        ++visited;
    }
    table.last();
    touch(table.value(0));
    table.seek(table.size() / 2);
    touch(table.record().value(0));
    table.previous();
    touch(table.record().value(0));
}

void readModel(const QString& path)
{
    QDbfTableModel model;
    if (!model.open(path, true))
        return;
    while (model.canFetchMore(QModelIndex()) && model.rowCount(QModelIndex()) < kMaxModelRows)
        model.fetchMore(QModelIndex());
    const int rows = model.rowCount(QModelIndex());
    const int columns = model.columnCount(QModelIndex());
    // Every row, but not every cell of a thousand-column table in every row: the cells of
    // one row all go through the same code.
    int cells = 0;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns && (r == 0 || cells < kMaxModelCells); ++c, ++cells) {
            const QModelIndex index = model.index(r, c);
            touch(model.data(index, Qt::DisplayRole));
            touch(model.data(index, Qt::CheckStateRole));
            (void)model.flags(index);
        }
    }
    for (int c = 0; c <= columns; ++c)
        touch(model.headerData(c, Qt::Horizontal, Qt::DisplayRole));
}

int readInt16(const QByteArray& bytes, int offset)
{
    return qint16(quint16(quint8(bytes[offset]) | (quint8(bytes[offset + 1]) << 8)));
}

int readInt32(const QByteArray& bytes, int offset)
{
    return int(quint32(quint8(bytes[offset])) | (quint32(quint8(bytes[offset + 1])) << 8)
        | (quint32(quint8(bytes[offset + 2])) << 16) | (quint32(quint8(bytes[offset + 3])) << 24));
}

// Writes on a copy and checks that only the bytes the format allows have changed.
void writeTable(const QString& path, const uint8_t* data, size_t size)
{
    if (!writeFile(path, data, size))
        return;
    QDbfTable table(path);
    const bool accepted = table.open(QDbfTable::ReadWrite);
    const QByteArray before = readFile(path);
    const int count = table.size();
    const bool hasHeader = before.size() >= 32;
    const qint64 headerLength = hasHeader ? readInt16(before, 8) : -1;
    const qint64 recordLength = hasHeader ? readInt16(before, 10) : -1;

    table.next();
    QDbfRecord record = table.record();
    for (int i = 0; i < record.count(); ++i)
        record.setValue(i, record.value(i));
    const bool updated = table.updateRecordInTable(record);
    const bool removed = table.removeRecord(0);
    const bool appended = table.addRecord();
    const bool recoded = table.setCodepage(QDbfTable::Windows1251);
    table.close();

    // Nothing is ever written into a file that was refused.
    if (!accepted && (updated || removed || appended || recoded))
        std::abort();

    const QByteArray after = readFile(path);
    // Bytes that may change: record 0 (update, delete mark), the appended record with its
    // end-of-file byte, and the record count.
    const qint64 firstRecordEnd = headerLength + recordLength;
    const qint64 appendStart = headerLength + qint64(count) * recordLength;
    const qint64 appendEnd = appendStart + recordLength + 1;
    if ((updated || removed) && (count <= 0 || recordLength < 1 || headerLength < 32))
        std::abort();
    // An append never extends the file beyond the announced records plus one record.
    if (appended && (count < 0 || recordLength < 1 || headerLength < 32 || appendStart > before.size()))
        std::abort();
    const qint64 limit = qMax<qint64>(after.size(), before.size());
    for (qint64 pos = 0; pos < limit; ++pos) {
        const bool inBefore = pos < before.size();
        const bool inAfter = pos < after.size();
        if (inBefore && inAfter && before[int(pos)] == after[int(pos)])
            continue;
        const bool inFirst = (updated || removed) && pos >= headerLength && pos < firstRecordEnd;
        const bool inAppend = appended && pos >= appendStart && pos < appendEnd;
        const bool inCount = appended && pos >= 4 && pos < 8;
        const bool inCodepage = recoded && pos == 29;
        if (!inFirst && !inAppend && !inCount && !inCodepage)
            std::abort();
    }
    if (appended && readInt32(after, 4) != count + 1)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler(silence);
    qputenv("LC_ALL", "C.UTF-8");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = scratchPath("read");
    if (!writeFile(path, data, size))
        return 0;
    readTable(path);
    readModel(path);
    writeTable(scratchPath("write"), data, size);
    return 0;
}
