// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.h"

#include "addressfile.h"
#include "addressresolver.h"
#include "schema.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace {

void print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

// A bar redrawn in place on a terminal; whole percents, one a line, for a log or a pipe.
class ConsoleReporter : public AddressFile::Reporter {
public:
    ConsoleReporter()
        : m_bTerminal(isatty(fileno(stderr)) != 0)
    {
    }

    void progress(qint64 nDone, qint64 nTotal) override
    {
        const int percent = nTotal > 0 ? int(nDone * 100 / nTotal) : 100;
        if (percent == m_nPercent)
            return;
        m_nPercent = percent;
        if (m_bTerminal) {
            const int width = 40;
            const int filled = percent * width / 100;
            std::fprintf(stderr, "\r[%s%s] %3d%%", QByteArray(filled, '#').constData(),
                QByteArray(width - filled, '.').constData(), percent);
            if (percent == 100)
                std::fputc('\n', stderr);
        } else {
            std::fprintf(stderr, "%d%%\n", percent);
        }
        std::fflush(stderr);
    }

    void note(qint64 nLine, const QString& text) override
    {
        if (m_bTerminal)
            std::fputc('\r', stderr);
        print(stderr, QStringLiteral("строка %1: %2\n").arg(nLine).arg(text));
    }

private:
    bool m_bTerminal;
    int m_nPercent = -1;
};

int resolveOne(AddressResolver& resolver, const QString& line)
{
    const AddressAnswer answer = resolver.resolve(line);
    // One line per candidate: index, grade, address, tab-separated; the sure answer alone.
    if (answer.candidates.isEmpty() || answer.grade == AddressGrade::NotFound) {
        print(stdout, QStringLiteral("\t%1\t%2\n").arg(gradeText(answer.grade), answer.problem));
    } else if (answer.grade == AddressGrade::Ambiguous) {
        print(stdout, QStringLiteral("\t%1\t%2\n").arg(gradeText(answer.grade), answer.problem));
        for (const AddressCandidate& candidate : answer.candidates)
            print(stdout,
                QStringLiteral("%1\t%2\t%3\n")
                    .arg(candidate.index, gradeText(candidate.grade), candidate.address));
    } else {
        print(stdout,
            QStringLiteral("%1\t%2\t%3\n").arg(answer.index, gradeText(answer.grade), answer.address));
    }
    for (const QString& note : answer.notes)
        print(stderr, note + QLatin1Char('\n'));
    return answer.grade == AddressGrade::NotFound ? 1 : 0;
}

} // namespace

int runResolveCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Finds the postal index of an address written on one line, or of every line of a CSV file, in "
        "DIR/KLADR.sqlite. One line: prints index, grade and postal address, tab-separated (every candidate "
        "when the line fits several objects). A file: writes it again with the columns Индекс, Почтовый "
        "адрес, "
        "Точность and Вариантов added."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("DIR"), QStringLiteral("Directory holding KLADR.sqlite."));
    parser.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("The address, without --csv."),
        QStringLiteral("[ADDRESS]"));
    const QCommandLineOption csvOption(QStringLiteral("csv"),
        QStringLiteral("CSV file of addresses, a header in its first line."), QStringLiteral("IN"));
    const QCommandLineOption columnOption(QStringLiteral("column"),
        QStringLiteral("The address column: its number from 1 or its header (default: the first header "
                       "holding \"адрес\", else the first column)."),
        QStringLiteral("N|NAME"));
    const QCommandLineOption outOption(QStringLiteral("out"),
        QStringLiteral("Output file (default: IN's name with -индексы, beside it)."), QStringLiteral("OUT"));
    const QCommandLineOption encodingOption(QStringLiteral("encoding"),
        QStringLiteral("utf-8 or windows-1251 (default: told from the content)."), QStringLiteral("NAME"));
    parser.addOptions({ csvOption, columnOption, outOption, encodingOption });
    if (!parser.parse(arguments)) {
        std::fprintf(
            stderr, "resolve: %s\n%s", qPrintable(parser.errorText()), qPrintable(parser.helpText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    const QStringList positional = parser.positionalArguments();
    const bool bFile = parser.isSet(csvOption);
    if (positional.size() != (bFile ? 1 : 2)) {
        std::fprintf(stderr, "resolve: expected DIR and either an ADDRESS or --csv IN\n%s",
            qPrintable(parser.helpText()));
        return 2;
    }
    if (!bFile && (parser.isSet(columnOption) || parser.isSet(outOption) || parser.isSet(encodingOption))) {
        std::fputs("resolve: --column, --out and --encoding go with --csv\n", stderr);
        return 2;
    }
    AddressFile::Options options;
    if (parser.isSet(encodingOption)
        && !Csv::encodingFromName(parser.value(encodingOption), &options.encoding)) {
        std::fprintf(stderr, "resolve: --encoding wants utf-8 or windows-1251, not '%s'\n",
            qPrintable(parser.value(encodingOption)));
        return 2;
    }

    const QString databaseFile
        = positional.first() + QLatin1Char('/') + QLatin1String(Schema::DatabaseFileName);
    if (!QFileInfo(databaseFile).isFile()) {
        std::fprintf(
            stderr, "resolve: %s not found; build it with velmora-tool import\n", qPrintable(databaseFile));
        return 2;
    }
    AddressResolver resolver(databaseFile);
    if (!resolver.isReady()) {
        print(stderr, QStringLiteral("resolve: %1\n").arg(resolver.error()));
        return 1;
    }
    if (!bFile)
        return resolveOne(resolver, positional.at(1));

    options.input = parser.value(csvOption);
    options.output = parser.value(outOption);
    options.column = parser.value(columnOption);
    ConsoleReporter reporter;
    AddressFile::Summary summary;
    QString error;
    QElapsedTimer timer;
    timer.start();
    if (!AddressFile::run(resolver, options, reporter, &summary, &error)) {
        print(stderr, QStringLiteral("resolve: %1\n").arg(error));
        return 1;
    }
    const double seconds = timer.elapsed() / 1000.0;
    print(stderr,
        QStringLiteral("%1\n%2 written, %3 s, %4 rows/s\n")
            .arg(AddressFile::summaryText(summary), summary.output)
            .arg(seconds, 0, 'f', 1)
            .arg(seconds > 0 ? qint64(summary.rows / seconds) : summary.rows));
    return 0;
}
