// SPDX-License-Identifier: GPL-3.0-or-later
#include "addressfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <memory>

namespace AddressFile {

QString defaultOutput(const QString& input)
{
    const QFileInfo info(input);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("-индексы.csv"));
}

namespace {

    int findColumn(const QStringList& header, const QString& wanted, QString* error)
    {
        if (wanted.isEmpty()) {
            for (int i = 0; i < header.size(); ++i) {
                if (header.at(i).contains(QStringLiteral("адрес"), Qt::CaseInsensitive))
                    return i;
            }
            return 0;
        }
        bool bNumber = false;
        const int number = wanted.toInt(&bNumber);
        if (bNumber) {
            if (number >= 1 && number <= header.size())
                return number - 1;
            *error = QStringLiteral("столбца %1 нет: в первой строке %2 столбцов")
                         .arg(number)
                         .arg(header.size());
            return -1;
        }
        for (int i = 0; i < header.size(); ++i) {
            if (header.at(i).trimmed().compare(wanted.trimmed(), Qt::CaseInsensitive) == 0)
                return i;
        }
        *error = QStringLiteral("столбца «%1» нет в первой строке").arg(wanted);
        return -1;
    }

} // namespace

bool run(
    AddressResolver& resolver, const Options& options, Reporter& reporter, Summary* summary, QString* error)
{
    *summary = Summary();
    if (!resolver.isReady()) {
        *error = resolver.error();
        return false;
    }
    const QString output = options.output.isEmpty() ? defaultOutput(options.input) : options.output;
    summary->output = output;
    if (QFileInfo(output).absoluteFilePath() == QFileInfo(options.input).absoluteFilePath()) {
        *error = QStringLiteral("файл результата совпадает с исходным: %1").arg(output);
        return false;
    }
    QFile in(options.input);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("не удалось открыть %1: %2").arg(options.input, in.errorString());
        return false;
    }
    const qint64 total = in.size();
    Csv::Reader reader(&in, options.encoding);
    Csv::Record header;
    if (!reader.next(&header)) {
        *error
            = reader.error().isEmpty() ? QStringLiteral("файл %1 пуст").arg(options.input) : reader.error();
        return false;
    }
    const int column = findColumn(header.fields, options.column, error);
    if (column < 0)
        return false;

    QSaveFile out(output);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("не удалось создать %1: %2").arg(output, out.errorString());
        return false;
    }
    const char separator = reader.separator();
    const Csv::Encoding encoding = reader.encoding();
    const auto cells = [&](const QStringList& values) {
        QByteArray bytes;
        for (const QString& value : values)
            bytes += separator + Csv::quoteField(Csv::encode(value, encoding), separator);
        return bytes;
    };
    // A line ending for rows that lack one only because the file ends there.
    const QByteArray ending = header.ending.isEmpty() ? QByteArray("\r\n") : header.ending;
    if (reader.hasByteOrderMark())
        out.write("\xEF\xBB\xBF");
    out.write(header.raw
        + cells({ QStringLiteral("Индекс"), QStringLiteral("Почтовый адрес"), QStringLiteral("Точность"),
            QStringLiteral("Вариантов") })
        + header.ending);

    Csv::Record record;
    qint64 lastReport = -1;
    resolver.beginBatch();
    // Ends the read snapshot on every way out.
    const std::unique_ptr<AddressResolver, void (*)(AddressResolver*)> batch(
        &resolver, [](AddressResolver* r) { r->endBatch(); });
    while (reader.next(&record)) {
        if (reporter.isCancelled()) {
            out.cancelWriting();
            *error = QStringLiteral("отменено");
            return false;
        }
        if (record.raw.isEmpty() && record.fields.size() == 1) {
            out.write(record.ending); // an empty line stays one
            continue;
        }
        ++summary->rows;
        QString problem = record.problem;
        if (problem.isEmpty() && record.fields.size() != header.fields.size())
            problem = QStringLiteral("%1 полей, а в первой строке %2")
                          .arg(record.fields.size())
                          .arg(header.fields.size());
        if (problem.isEmpty() && column >= record.fields.size())
            problem = QStringLiteral("нет столбца адреса");
        if (!problem.isEmpty()) {
            ++summary->malformed;
            reporter.note(record.line, QStringLiteral("строка пропущена без изменений: %1").arg(problem));
            out.write(record.raw + record.ending);
            continue;
        }
        const AddressAnswer answer = resolver.resolve(record.fields.at(column));
        ++summary->grades[answer.grade];
        if (answer.bIndexDiffers)
            ++summary->indexDiffers;
        if (answer.bFormerName)
            ++summary->formerNames;
        for (const QString& note : answer.notes)
            reporter.note(record.line, note);
        const QString address
            = answer.grade == AddressGrade::Ambiguous || answer.grade == AddressGrade::NotFound
            ? answer.problem
            : answer.address;
        out.write(record.raw
            + cells(
                { answer.index, address, gradeText(answer.grade), QString::number(answer.candidates.size()) })
            + (record.ending.isEmpty() ? ending : record.ending));
        // Progress in whole per mille steps, not per row.
        const qint64 step = total > 0 ? reader.position() * 1000 / total : 0;
        if (step != lastReport) {
            lastReport = step;
            reporter.progress(reader.position(), total);
        }
    }
    if (!reader.error().isEmpty()) {
        out.cancelWriting();
        *error = QStringLiteral("ошибка чтения %1: %2").arg(options.input, reader.error());
        return false;
    }
    reporter.progress(total, total);
    if (!out.commit()) {
        *error = QStringLiteral("не удалось записать %1: %2").arg(output, out.errorString());
        return false;
    }
    return true;
}

QString summaryText(const Summary& summary)
{
    QStringList parts;
    for (auto it = summary.grades.cbegin(); it != summary.grades.cend(); ++it)
        parts << QStringLiteral("%1 %2").arg(gradeText(it.key())).arg(it.value());
    if (summary.malformed > 0)
        parts << QStringLiteral("строк с ошибками %1").arg(summary.malformed);
    if (summary.indexDiffers > 0)
        parts << QStringLiteral("индекс в строке не совпал %1").arg(summary.indexDiffers);
    if (summary.formerNames > 0)
        parts << QStringLiteral("прежних названий %1").arg(summary.formerNames);
    return QStringLiteral("Строк %1: %2").arg(summary.rows).arg(parts.join(QStringLiteral(", ")));
}

} // namespace AddressFile
