// SPDX-License-Identifier: GPL-3.0-or-later
#include "importfixture.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using Fixture::Rows;
using KladrSample::Table;

namespace {

struct Run {
    bool finished = false;
    bool success = false;
    QStringList lines;
    ThreadDataBaseCreate::RunReport report;
};

Run runImport(const QString& dir)
{
    RecordingHost host;
    ThreadDataBaseCreate thread;
    thread.setHost(&host);
    thread.setDirectories(dir, dir);
    thread.start();
    Run run;
    run.finished = thread.wait(120000);
    run.lines = host.lines();
    run.report = thread.lastRunReport();
    run.success = run.report.success;
    return run;
}

// The reference as the post writes it, field order and widths of the sample.
const QVector<DbfWriter::Field> SampleLayout = KladrSample::postOfficeFields();

// The same fields in another order and other widths, ACTDATE as text, plus a field the import
// does not know.
const QVector<DbfWriter::Field> OtherLayout = { { "ACTDATE", 10 }, { "OPSTYPE", 12 }, { "CITY_1", 30 },
    { "INDEXOLD", 6 }, { "NOTE", 5 }, { "CITY", 25 }, { "AREA", 40 }, { "AUTONOM", 20 }, { "REGION", 50 },
    { "OPSSUBM", 6 }, { "OPSNAME", 45 }, { "INDEX", 6 } };

// Values by field name, written in the file's own order.
using Office = QMap<QByteArray, QString>;
const QList<Office> Offices = {
    { { "INDEX", "344000" }, { "OPSNAME", "Ростов-на-Дону Почтамт" }, { "OPSTYPE", "ПОЧТАМТ" },
        { "REGION", "Ростовская область" }, { "CITY", "Ростов-на-Дону" } },
    { { "INDEX", "346720" }, { "OPSNAME", "Аксай" }, { "OPSTYPE", "ГОПС" }, { "OPSSUBM", "344000" },
        { "REGION", "Ростовская область" }, { "AREA", "Аксайский район" }, { "CITY", "Аксай" },
        { "INDEXOLD", "346700" } },
    { { "INDEX", "346735" }, { "OPSNAME", "Ленинаван" }, { "OPSTYPE", "СОПС" }, { "OPSSUBM", "344000" },
        { "REGION", "Ростовская область" }, { "AREA", "Аксайский район" }, { "CITY_1", "Ленинаван" } },
};

bool writeOffices(const QString& path, const QVector<DbfWriter::Field>& layout, bool bDateAsText)
{
    DbfWriter writer;
    if (!writer.open(path, layout))
        return false;
    for (const Office& office : Offices) {
        QStringList values;
        for (const DbfWriter::Field& field : layout) {
            if (field.name == "ACTDATE")
                values << (bDateAsText ? QStringLiteral("01.02.2024") : QStringLiteral("20240201"));
            else
                values << office.value(field.name);
        }
        writer.append(values);
    }
    // A deleted record is not an office.
    writer.append({ QStringLiteral("999999") }, true);
    return writer.close();
}

// POST_OFFICES as the import must fill it from Offices.
Rows expectedRows()
{
    Rows rows;
    for (const Office& o : Offices)
        rows << QStringList { o.value("INDEX"), o.value("OPSNAME"), o.value("OPSTYPE"), o.value("OPSSUBM"),
            o.value("REGION"), o.value("AUTONOM"), o.value("AREA"), o.value("CITY"), o.value("CITY_1"),
            QStringLiteral("2024-02-01"), o.value("INDEXOLD") };
    return rows;
}

} // namespace

class TestPostOfficeImport : public QObject {
    Q_OBJECT

private:
    QTemporaryDir* m_Dir = nullptr;
    QString m_DbDir;

    QString database() const { return m_DbDir + QStringLiteral("/KLADR.sqlite"); }
    QString base(const QString& file) const { return Fixture::base(m_DbDir, file); }
    QStringList tables() const
    {
        return Fixture::sqlValues(database(),
            QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name LIKE 'POST%'"));
    }

    void writeClassifier()
    {
        QVERIFY(QDir().mkpath(m_DbDir + QStringLiteral("/BASE")));
        QVERIFY(QFile::copy(Fixture::socrbasePath(), base(QStringLiteral("SOCRBASE.DBF"))));
        QVERIFY(Fixture::writeTable(base(QStringLiteral("KLADR.DBF")), Table::Kladr,
            { { "Аксай", "г", "6100200100000", "346720" } }));
        QVERIFY(Fixture::writeTable(base(QStringLiteral("STREET.DBF")), Table::Street, {}));
        QVERIFY(Fixture::writeTable(base(QStringLiteral("DOMA.DBF")), Table::Doma, {}));
    }

private slots:
    void init()
    {
        m_Dir = new QTemporaryDir;
        QVERIFY(m_Dir->isValid());
        m_DbDir = m_Dir->path() + QStringLiteral("/db");
        writeClassifier();
    }

    void cleanup()
    {
        delete m_Dir;
        m_Dir = nullptr;
    }

    // Fields are found by name whatever their order and widths, in a file named in any case; of
    // several editions the latest is read; the code-page byte is no obstacle to IBM 866 text.
    void loadsByFieldName_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("otherLayout");
        QTest::addColumn<int>("codepageByte");
        QTest::addColumn<QString>("olderEdition");
        QTest::newRow("sample layout") << "PIndx26.dbf" << false << 0x00 << "";
        QTest::newRow("other order and widths, date as text") << "pindx07.DBF" << true << 0x65 << "";
        QTest::newRow("code-page byte of no Cyrillic page") << "PINDX15.DBF" << false << 0x26 << "";
        QTest::newRow("latest of two editions") << "PIndx12.dbf" << true << 0x00 << "PIndx9.dbf";
    }

    void loadsByFieldName()
    {
        QFETCH(QString, file);
        QFETCH(bool, otherLayout);
        QFETCH(int, codepageByte);
        QFETCH(QString, olderEdition);
        const QString path = base(file);
        QVERIFY(writeOffices(path, otherLayout ? OtherLayout : SampleLayout, otherLayout));
        {
            QFile raw(path);
            QVERIFY(raw.open(QIODevice::ReadWrite));
            QVERIFY(raw.seek(29));
            QVERIFY(raw.putChar(char(codepageByte)));
        }
        if (!olderEdition.isEmpty()) {
            DbfWriter older;
            QVERIFY(older.open(base(olderEdition), SampleLayout));
            older.append({ QStringLiteral("100000"), QStringLiteral("Старое издание") });
            QVERIFY(older.close());
        }

        const Run run = runImport(m_DbDir);
        QVERIFY(run.finished);
        QVERIFY(run.success);
        QVERIFY(run.lines.contains(QStringLiteral("Попытка открытия файла '") + path + QLatin1Char('\'')));
        QVERIFY(run.lines.contains(QStringLiteral("Создание таблицы POST_OFFICES.")));
        QVERIFY(run.report.postOffices.created);
        QCOMPARE(run.report.postOffices.rows, qint64(Offices.size()));
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("POST_OFFICES")), expectedRows());
        QCOMPARE(tables(), QStringList { "POST_OFFICES" });
        QCOMPARE(Fixture::sqlValues(database(),
                     QStringLiteral("SELECT name FROM sqlite_master WHERE tbl_name = 'POST_OFFICES' "
                                    "AND type = 'index' ORDER BY name")),
            QStringList({ "index_post_offices_index", "index_post_offices_old" }));

        // A complete table is kept; the next run does not read the file again.
        QVERIFY(QFile::remove(path));
        const Run again = runImport(m_DbDir);
        QVERIFY(again.success);
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("POST_OFFICES")), expectedRows());
    }

    // A reference that cannot be read whole fails the run and leaves no table, under either
    // name; the classifier's tables are complete all the same, and once the file is whole the
    // next run loads it.
    void unreadableFileFailsTheRun_data()
    {
        QTest::addColumn<int>("cut"); // bytes cut from the end
        QTest::addColumn<QByteArray>("dropField");
        QTest::addColumn<QString>("line");
        QTest::newRow("cut inside the last record") << 100 << QByteArray() << "повреждён";
        QTest::newRow("cut to the header") << 4 * 437 + 1 << QByteArray() << "повреждён";
        QTest::newRow("no OPSNAME field") << 0 << QByteArray("OPSNAME") << "нет полей: OPSNAME";
    }

    void unreadableFileFailsTheRun()
    {
        QFETCH(int, cut);
        QFETCH(QByteArray, dropField);
        QFETCH(QString, line);
        const QString path = base(QStringLiteral("PIndx26.dbf"));
        QVector<DbfWriter::Field> layout = SampleLayout;
        layout.erase(std::remove_if(layout.begin(), layout.end(),
                         [&](const DbfWriter::Field& f) { return f.name == dropField; }),
            layout.end());
        QVERIFY(writeOffices(path, layout, false));
        if (cut > 0) {
            QFile raw(path);
            QVERIFY(raw.resize(raw.size() - cut));
        }

        const Run run = runImport(m_DbDir);
        QVERIFY(run.finished);
        QVERIFY(!run.success);
        QVERIFY(!run.report.postOffices.created);
        const bool said = std::any_of(run.lines.cbegin(), run.lines.cend(),
            [&](const QString& l) { return l.contains(path) && l.contains(line); });
        QVERIFY2(said, qPrintable(run.lines.join(QLatin1Char('\n'))));
        QVERIFY(run.lines.last().contains(QStringLiteral("не завершена")));
        QVERIFY(tables().isEmpty());
        QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT count(*) FROM KLADR")),
            QStringList { "1" });
        // Not offered to other installations while the reference is missing.
        QVERIFY(Fixture::sqlValues(database(), QStringLiteral("SELECT version FROM info")).isEmpty());

        QVERIFY(writeOffices(path, SampleLayout, false));
        const Run again = runImport(m_DbDir);
        QVERIFY(again.success);
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("POST_OFFICES")), expectedRows());
    }

    // The reference is optional: without it nothing is said about it and no table is made.
    void noFileNoTableNoError()
    {
        QFile::copy(Fixture::socrbasePath(), base(QStringLiteral("PIndx.txt")));
        const Run run = runImport(m_DbDir);
        QVERIFY(run.finished);
        QVERIFY(run.success);
        QVERIFY(tables().isEmpty());
        for (const QString& line : run.lines)
            QVERIFY2(
                !line.contains(QStringLiteral("POST_OFFICES")) && !line.contains(QStringLiteral("PIndx")),
                qPrintable(line));
        QCOMPARE(
            Fixture::sqlValues(database(), QStringLiteral("SELECT count(*) FROM info")), QStringList { "1" });
    }

    // The program's own indexes for the search by postal index: steps of their own after the seven.
    void postalIndexesHaveStepsOfTheirOwn()
    {
        const Run run = runImport(m_DbDir);
        QVERIFY(run.success);
        const int seventh
            = run.lines.indexOf(QStringLiteral("Проверка и/или создание индекса для таблицы DOMA."));
        QVERIFY(seventh > 0);
        QCOMPARE(run.lines.mid(seventh + 1, 4),
            QStringList({ "Проверка и/или создание индекса по почтовому индексу для таблицы KLADR.",
                "Проверка и/или создание индекса по почтовому индексу для таблицы STREET.",
                "Проверка и/или создание индекса по коду улицы для таблицы STREET.",
                "Проверка и/или создание индекса по почтовому индексу для таблицы DOMA." }));
        QCOMPARE(Fixture::sqlValues(database(),
                     QStringLiteral("SELECT tbl_name || '(' || name || ')' FROM sqlite_master WHERE type = "
                                    "'index' AND (name LIKE '%postal' OR name = 'index_streets_code') "
                                    "ORDER BY tbl_name, name")),
            QStringList({ "DOMA(index_doma_postal)", "KLADR(index_kladr_postal)",
                "STREET(index_streets_code)", "STREET(index_streets_postal)" }));
    }
};

QTEST_GUILESS_MAIN(TestPostOfficeImport)
#include "tst_postofficeimport.moc"
