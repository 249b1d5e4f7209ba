// SPDX-License-Identifier: GPL-3.0-or-later
// Read benchmark of the DBF library over a KLADR-shaped table.
//   qdbf-read-bench generate FILE RECORDS   writes the table (CP866, code-page byte 0x00)
//   qdbf-read-bench table FILE              QDbfTable next() + record(), every value touched
//   qdbf-read-bench model FILE              QDbfTableModel fetchMore loop, every cell's
//                                           display text read, all rows kept
//   qdbf-read-bench model-release FILE      the same, releasing rows once read (as the import)
// Prints one line: mode records seconds records_per_second peak_rss_kb
#include <qdbf/qdbftablemodel.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTextCodec>
#include <QtEndian>

#include <cstdio>
#include <sys/resource.h>

using namespace QDbf;

namespace {

struct Column {
    const char* name;
    int length;
};

// The layout of the classifier's KLADR.DBF.
const Column kColumns[] = { { "NAME", 40 }, { "SOCR", 10 }, { "CODE", 13 }, { "INDEX", 6 }, { "GNINMB", 4 },
    { "UNO", 4 }, { "OCATD", 11 }, { "STATUS", 1 } };

long peakRssKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int generate(const QString& path, int records)
{
    QTextCodec* codec = QTextCodec::codecForName("IBM 866");
    const QStringList names = { QStringLiteral("Москва"), QStringLiteral("Санкт-Петербург"),
        QStringLiteral("Новосибирск"), QStringLiteral("Екатеринбург"), QStringLiteral("Нижний Новгород"),
        QStringLiteral("Казань"), QStringLiteral("Усть-Илимск"), QStringLiteral("Большие Вязёмы") };
    const QStringList types = { QStringLiteral("г"), QStringLiteral("пгт"), QStringLiteral("с"),
        QStringLiteral("д"), QStringLiteral("ул") };
    const int fields = int(sizeof(kColumns) / sizeof(kColumns[0]));
    int recordLength = 1;
    for (const Column& c : kColumns)
        recordLength += c.length;
    const int headerLength = 32 + 32 * fields + 1;

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    QByteArray header(32, '\0');
    header[0] = 0x03;
    header[1] = 110;
    header[2] = 8;
    header[3] = 30;
    qToLittleEndian<quint32>(quint32(records), header.data() + 4);
    qToLittleEndian<quint16>(quint16(headerLength), header.data() + 8);
    qToLittleEndian<quint16>(quint16(recordLength), header.data() + 10);
    for (const Column& c : kColumns) {
        QByteArray d(32, '\0');
        d.replace(0, int(qstrlen(c.name)), c.name);
        d[11] = 'C';
        d[16] = char(c.length);
        header += d;
    }
    header += '\r';
    file.write(header);

    QByteArray record;
    for (int i = 0; i < records; ++i) {
        record = " ";
        const QString name = names.at(i % names.size()) + QLatin1Char(' ') + QString::number(i % 997);
        record += codec->fromUnicode(name).leftJustified(40, ' ', true);
        record += codec->fromUnicode(types.at(i % types.size())).leftJustified(10, ' ', true);
        record += QByteArray::number(7700000000000LL + i).rightJustified(13, '0', true);
        record += QByteArray::number(100000 + i % 900000).left(6);
        record += QByteArray::number(7700 + i % 99).left(4);
        record += "    ";
        record += QByteArray::number(45000000000LL + i).left(11);
        record += QByteArray::number(i % 4);
        file.write(record);
    }
    file.write("\x1A", 1);
    return 0;
}

void report(const char* mode, qint64 records, qint64 ns, qint64 checksum)
{
    const double seconds = double(ns) / 1e9;
    std::printf("%s %lld %.3f %.0f %ld %lld\n", mode, static_cast<long long>(records), seconds,
        double(records) / seconds, peakRssKb(), static_cast<long long>(checksum));
}

int readTable(const QString& path)
{
    QElapsedTimer timer;
    timer.start();
    QDbfTable table(path);
    if (!table.open(QDbfTable::ReadOnly))
        return 1;
    qint64 records = 0;
    qint64 checksum = 0;
    while (table.next()) {
        const QDbfRecord record = table.record();
        if (record.isDeleted())
            continue;
        for (int i = 0; i < record.count(); ++i)
            checksum += record.value(i).toString().size();
        ++records;
    }
    report("table", records, timer.nsecsElapsed(), checksum);
    return 0;
}

int readModel(const QString& path, bool release)
{
    QElapsedTimer timer;
    timer.start();
    QDbfTableModel model;
    if (!model.open(path, true))
        return 1;
    qint64 checksum = 0;
    int row = 0;
    const int columns = model.columnCount(QModelIndex());
    for (;;) {
        const int rows = model.rowCount(QModelIndex());
        for (; row < rows; ++row) {
            for (int c = 0; c < columns; ++c)
                checksum += model.data(model.index(row, c), Qt::DisplayRole).toString().size();
        }
        if (release)
            model.releaseRows(row);
        if (!model.canFetchMore(QModelIndex()))
            break;
        model.fetchMore(QModelIndex());
    }
    report(release ? "model-release" : "model", row, timer.nsecsElapsed(), checksum);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s generate|table|model|model-release FILE [RECORDS]\n", argv[0]);
        return 2;
    }
    const QByteArray mode = argv[1];
    const QString path = QString::fromLocal8Bit(argv[2]);
    if (mode == "generate")
        return generate(path, argc > 3 ? atoi(argv[3]) : 1000000);
    if (mode == "table")
        return readTable(path);
    if (mode == "model")
        return readModel(path, false);
    if (mode == "model-release")
        return readModel(path, true);
    return 2;
}
