// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.h"

#include "kladrsample.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

int runSampleCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes a made-up address classifier: DIR/BASE/SOCRBASE.DBF, KLADR.DBF, STREET.DBF, DOMA.DBF, "
        "and the post offices for its indexes, PIndx26.dbf."));
    parser.addHelpOption();
    const QCommandLineOption outOption(
        QStringLiteral("out"), QStringLiteral("Output directory."), QStringLiteral("DIR"));
    const QCommandLineOption scaleOption(QStringLiteral("scale"),
        QStringLiteral("1.0 is the real classifier's size (default 1.0)."), QStringLiteral("S"),
        QStringLiteral("1.0"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Random seed (default 1)."),
        QStringLiteral("N"), QStringLiteral("1"));
    parser.addOptions({ outOption, scaleOption, seedOption });
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "sample: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (!parser.isSet(outOption) || !parser.positionalArguments().isEmpty()) {
        std::fputs(qPrintable(parser.helpText()), stderr);
        return 2;
    }

    KladrSample::Options options;
    bool ok = false;
    options.scale = parser.value(scaleOption).toDouble(&ok);
    if (!ok || options.scale <= 0 || options.scale > 10) {
        std::fprintf(stderr, "sample: --scale wants a number above 0 and at most 10, not '%s'\n",
            qPrintable(parser.value(scaleOption)));
        return 2;
    }
    options.seed = parser.value(seedOption).toULongLong(&ok);
    if (!ok) {
        std::fprintf(stderr, "sample: --seed wants a non-negative integer, not '%s'\n",
            qPrintable(parser.value(seedOption)));
        return 2;
    }

    QFile socrbase(QStringLiteral(":/sample/SOCRBASE.DBF"));
    if (!socrbase.open(QIODevice::ReadOnly)) {
        std::fputs("sample: the built-in SOCRBASE.DBF is missing\n", stderr);
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    KladrSample::Counts counts;
    QString error;
    const QString out = parser.value(outOption);
    if (!KladrSample::writeSample(out, socrbase.readAll(), options, &counts, &error)) {
        std::fprintf(stderr, "sample: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s/BASE: KLADR %lld, STREET %lld, DOMA %lld records (%lld marked deleted), %s %lld post "
                "offices, %.1f s\n",
        qPrintable(out), counts.kladr, counts.street, counts.doma, counts.deleted,
        KladrSample::PostOfficeFileName, counts.postOffices, timer.elapsed() / 1000.0);
    return 0;
}
