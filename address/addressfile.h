// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "addressresolver.h"
#include "csvfile.h"

#include <QMap>
#include <QString>

// A CSV file of addresses resolved row by row: the output is the input with four columns added
// (Индекс, Почтовый адрес, Точность, Вариантов) in the input's separator and encoding. The output
// is written beside its name and renamed when complete, so a cancelled or failed run leaves
// nothing under that name. Memory does not grow with the file.
namespace AddressFile {

struct Options {
    QString input;
    // Empty: beside the input, "<name>-индексы.csv".
    QString output;
    // A column number counted from 1, or a header name; empty: the first column whose header
    // holds "адрес", else the first column.
    QString column;
    Csv::Encoding encoding = Csv::Encoding::Auto;
};

struct Summary {
    qint64 rows = 0;
    QMap<AddressGrade, qint64> grades;
    qint64 malformed = 0;
    qint64 indexDiffers = 0;
    qint64 formerNames = 0;
    QString output;
};

// What the run tells its user, from the thread that runs it.
class Reporter {
public:
    virtual ~Reporter() = default;
    // Bytes read of the input so far, and its size.
    virtual void progress(qint64 nDone, qint64 nTotal) = 0;
    // A row that needs the user's eye: malformed, its index differs, a former name.
    virtual void note(qint64 nLine, const QString& text) = 0;
    virtual bool isCancelled() const { return false; }
};

QString defaultOutput(const QString& input);

// False on a failure or a cancel, with the reason in *error; nothing is then left under the
// output name.
bool run(
    AddressResolver& resolver, const Options& options, Reporter& reporter, Summary* summary, QString* error);

// "дом 10, диапазон 3, …, строк с ошибками 1" — the grades that occurred, in grade order.
QString summaryText(const Summary& summary);

} // namespace AddressFile
