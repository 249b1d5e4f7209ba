// SPDX-License-Identifier: GPL-3.0-or-later
#include "importfixture.h"
#include "sqlitehandle.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>

#include <functional>

using Fixture::Rows;
using KladrSample::Table;

namespace {

const QStringList IndexLines = {
    QStringLiteral("Проверка и/или создание индекса для таблицы KLADR: 1 из 3."),
    QStringLiteral("Проверка и/или создание индекса для таблицы KLADR: 2 из 3."),
    QStringLiteral("Проверка и/или создание индекса для таблицы KLADR: 3 из 3."),
    QStringLiteral("Проверка и/или создание индекса для таблицы STREET: 1 из 3."),
    QStringLiteral("Проверка и/или создание индекса для таблицы STREET: 2 из 3."),
    QStringLiteral("Проверка и/или создание индекса для таблицы STREET: 3 из 3."),
    QStringLiteral("Проверка и/или создание индекса для таблицы DOMA."),
    // The program's own, after the seven.
    QStringLiteral("Проверка и/или создание индекса по почтовому индексу для таблицы KLADR."),
    QStringLiteral("Проверка и/или создание индекса по почтовому индексу для таблицы STREET."),
    QStringLiteral("Проверка и/или создание индекса по коду улицы для таблицы STREET."),
    QStringLiteral("Проверка и/или создание индекса по почтовому индексу для таблицы DOMA."),
};
// The seven of the classifier's tables; a failed one ends the index stage before the others.
constexpr int ClassifierIndexes = 7;
const QStringList PostalIndexTexts = {
    QStringLiteral("Создание индекса по почтовому индексу для таблицы KLADR. "),
    QStringLiteral("Создание индекса по почтовому индексу для таблицы STREET. "),
    QStringLiteral("Создание индекса по коду улицы для таблицы STREET. "),
    QStringLiteral("Создание индекса по почтовому индексу для таблицы DOMA. "),
};
const QString FinalLine = QStringLiteral("Первоначальная настройка базы данных завершена.");
const QString FailedLine
    = QStringLiteral("Первоначальная настройка базы данных не завершена: база данных не готова к поиску.");

struct RunResult {
    bool finished = false;
    QStringList lines;
    QList<QPair<int, int>> progress;
    QStringList texts;
    QList<bool> visible;
    QList<bool> created;
    bool hostReady = false;
    int readyCalls = 0;
    ThreadDataBaseCreate::RunReport report;
};

// setup runs before the start, for seams and direct connections to the thread's signals.
RunResult runImport(const QString& appDir, const QString& localDbDir,
    const std::function<void(ThreadDataBaseCreate&)>& setup = {})
{
    RecordingHost host;
    ThreadDataBaseCreate thread;
    thread.setHost(&host);
    thread.setDirectories(appDir, localDbDir);
    if (setup)
        setup(thread);
    QSignalSpy progress(&thread, &ThreadDataBaseCreate::signalUpdateProgress);
    QSignalSpy texts(&thread, &ThreadDataBaseCreate::signalUpdateText);
    QSignalSpy visible(&thread, &ThreadDataBaseCreate::signalVisible);
    QSignalSpy created(&thread, &ThreadDataBaseCreate::signalDataBaseCreated);
    thread.start();
    RunResult result;
    result.finished = thread.wait(120000);
    result.lines = host.lines();
    for (const QList<QVariant>& args : progress)
        result.progress.append({ args.at(0).toInt(), args.at(1).toInt() });
    for (const QList<QVariant>& args : texts)
        result.texts << args.at(0).toString();
    for (const QList<QVariant>& args : visible)
        result.visible << args.at(0).toBool();
    for (const QList<QVariant>& args : created)
        result.created << args.at(0).toBool();
    result.hostReady = host.ready();
    result.readyCalls = host.readyCalls();
    result.report = thread.lastRunReport();
    return result;
}

// Whether Qt's SQLite driver uses the SQLite library the program links (so the import may
// use the connection's own handle).
bool linkedHandleAvailable()
{
    const QString name = QStringLiteral("probe-handle");
    bool available = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QStringLiteral(":memory:"));
        available = SqliteHandle::open(db) != nullptr;
    }
    QSqlDatabase::removeDatabase(name);
    return available;
}

QString openLine(const QString& path)
{
    return QStringLiteral("Попытка открытия файла '") + path + QLatin1Char('\'');
}

QString openFailedLine(const QString& path)
{
    return QStringLiteral("Не удалось открыть файл '") + path + QLatin1Char('\'');
}

// A small classifier whose expected rows are written out by hand below.
const Rows SmallKladr = {
    { "Москва", "г", "7700000000000", "101000", "7700", "", "45000000000", "2" },
    { "Ёлкино", "д", "5000100000251", "140000", "5001", "1234", "46201000001", "0" },
    { "Д'Артаньяна \"Хутор\"", "х", "50001000003", "", "", "", "", "" },
};
const Rows SmallStreet = {
    { "Тверская", "ул", "77000000000012300", "125009", "7710", "", "" },
    { "Садовая-Кудринская", "пр", "77000000000045651", "123001", "", "", "" },
    { "O'Connell \"Street\"", "б-р", "770000000000789", "", "", "", "" },
};
const Rows SmallDoma = {
    { "1-9,Н(11-25),Ч(2-40),27к1", "", "ДОМ", "7700000000001230001", "125009", "", "", "" },
    { "2А", "1", "ДОМ", "7700000000004560012", "123001", "", "", "" },
    { "5", "", "ДОМ", "77", "", "", "", "" },
};

const Rows ExpectedKladr = {
    { "Москва", "МОСКВА", "Город", "г", "77000000000", "77", "000", "000", "000", "00", "101000", "2" },
    { "Ёлкино", "ЁЛКИНО", "Деревня", "д", "50001000002", "50", "001", "000", "002", "51", "140000", "0" },
    { "Д'Артаньяна \"Хутор\"", "Д'АРТАНЬЯНА \"ХУТОР\"", "Хутор", "х", "50001000003", "50", "001", "000",
        "003", "03", "", "" },
};
// "пр" is not in SOCRBASE.DBF, so its full name is empty.
const Rows ExpectedStreet = {
    { "Тверская", "ТВЕРСКАЯ", "Улица", "ул", "770000000000123", "77000000000", "00", "125009" },
    { "Садовая-Кудринская", "САДОВАЯ-КУДРИНСКАЯ", "", "пр", "770000000000456", "77000000000", "51",
        "123001" },
    { "O'Connell \"Street\"", "O'CONNELL \"STREET\"", "Бульвар", "б-р", "770000000000789", "77000000000",
        "89", "" },
};
const Rows ExpectedDoma = {
    { "1-9,Н(11-25),Ч(2-40),27к1", "77000000000", "770000000000123", "01", "125009" },
    { "2А", "77000000000", "770000000000456", "12", "123001" },
    { "5", "77", "77", "77", "" },
};

} // namespace

class TestThreadDataBaseCreate : public QObject {
    Q_OBJECT

private:
    QTemporaryDir* m_Dir = nullptr;
    QString m_AppDir;
    QString m_DbDir;

    QString database() const { return m_DbDir + QStringLiteral("/KLADR.sqlite"); }
    QString basePath(const QString& file) const { return Fixture::base(m_DbDir, file); }

    void writeSmallClassifier()
    {
        QVERIFY(QDir().mkpath(m_DbDir + QStringLiteral("/BASE")));
        QFile::remove(basePath(QStringLiteral("SOCRBASE.DBF")));
        QVERIFY(QFile::copy(Fixture::socrbasePath(), basePath(QStringLiteral("SOCRBASE.DBF"))));
        QVERIFY(Fixture::writeTable(basePath(QStringLiteral("KLADR.DBF")), Table::Kladr, SmallKladr));
        QVERIFY(Fixture::writeTable(basePath(QStringLiteral("STREET.DBF")), Table::Street, SmallStreet));
        QVERIFY(Fixture::writeTable(basePath(QStringLiteral("DOMA.DBF")), Table::Doma, SmallDoma));
    }

    // The log of a first build on the small classifier, with the lines of a file that did not
    // open swapped in.
    QStringList firstBuildLines(const QString& missingTable = QString()) const
    {
        QStringList lines = { openLine(basePath(QStringLiteral("SOCRBASE.DBF"))),
            QStringLiteral("Обработка таблицы SOCRBASE."), QStringLiteral("Добавление 148 строк...") };
        for (const QString& table :
            { QStringLiteral("KLADR"), QStringLiteral("STREET"), QStringLiteral("DOMA") }) {
            if (table != QLatin1String("DOMA"))
                lines << QStringLiteral("Таблица %1 не существует.").arg(table);
            const QString path = basePath(table + QStringLiteral(".DBF"));
            lines << openLine(path);
            if (table == missingTable) {
                lines << openFailedLine(path);
                continue;
            }
            lines << QStringLiteral("Создание таблицы %1.").arg(table)
                  << QStringLiteral("Добавление 3 строк...");
        }
        return lines;
    }

    // DOMA.DBF of the given number of records, every deletedEvery-th deleted (0: none);
    // returns the live records.
    int writeDoma(int records, int deletedEvery)
    {
        Rows doma;
        QList<bool> deleted;
        int live = 0;
        for (int i = 0; i < records; ++i) {
            doma << QStringList { QString::number(i), "", "ДОМ", QStringLiteral("7700000000000010001") };
            deleted << (deletedEvery > 0 && i % deletedEvery == 0);
            live += deleted.last() ? 0 : 1;
        }
        if (!Fixture::writeTable(basePath(QStringLiteral("DOMA.DBF")), Table::Doma, doma, deleted))
            return -1;
        return live;
    }

    // Pages of a database built from this classifier by an import stopped at the step text
    // (empty: at the index stage).
    int pagesWhenStopped(const QString& stepText) const
    {
        const QString dir = m_Dir->path() + QStringLiteral("/reference");
        QDir(dir).removeRecursively();
        QDir().mkpath(dir + QStringLiteral("/BASE"));
        for (const QString& file : QDir(m_DbDir + QStringLiteral("/BASE")).entryList(QDir::Files))
            QFile::copy(basePath(file), dir + QStringLiteral("/BASE/") + file);
        runImport(dir, dir, [stepText](ThreadDataBaseCreate& thread) {
            QObject::connect(
                &thread, &ThreadDataBaseCreate::signalUpdateText, &thread,
                [&thread, stepText](const QString& text) {
                    if (!stepText.isEmpty() && text.startsWith(stepText))
                        thread.requestInterruption();
                },
                Qt::DirectConnection);
            QObject::connect(
                &thread, &ThreadDataBaseCreate::signalUpdateProgress, &thread,
                [&thread, stepText](int, int nMax) {
                    if (stepText.isEmpty() && nMax == 7)
                        thread.requestInterruption();
                },
                Qt::DirectConnection);
        });
        const QStringList pages
            = Fixture::sqlValues(dir + QStringLiteral("/KLADR.sqlite"), QStringLiteral("PRAGMA page_count"));
        QDir(dir).removeRecursively();
        return pages.value(0).toInt();
    }

private slots:
    void init()
    {
        m_Dir = new QTemporaryDir;
        QVERIFY(m_Dir->isValid());
        m_AppDir = m_Dir->path() + QStringLiteral("/app");
        m_DbDir = m_Dir->path() + QStringLiteral("/db");
        QVERIFY(QDir().mkpath(m_AppDir));
    }

    void cleanup()
    {
        delete m_Dir;
        m_Dir = nullptr;
    }

    void withoutHostDoesNothing()
    {
        ThreadDataBaseCreate thread;
        thread.setDirectories(m_AppDir, m_DbDir);
        QSignalSpy created(&thread, &ThreadDataBaseCreate::signalDataBaseCreated);
        QSignalSpy visible(&thread, &ThreadDataBaseCreate::signalVisible);
        thread.start();
        QVERIFY(thread.wait(10000));
        QCOMPARE(created.count(), 0);
        QCOMPARE(visible.count(), 0);
        QVERIFY(!QDir(m_DbDir).exists());
    }

    // The rows go in straight through the connection's handle where the linked SQLite library
    // made it, and through Qt's prepared query otherwise: both give the same tables.
    void firstBuildImportsMapsAndReports_data()
    {
        QTest::addColumn<bool>("direct");
        QTest::newRow("connection's handle") << true;
        QTest::newRow("Qt's prepared query") << false;
    }

    void firstBuildImportsMapsAndReports()
    {
        QFETCH(bool, direct);
        writeSmallClassifier();
        const RunResult run = runImport(
            m_AppDir, m_DbDir, [direct](ThreadDataBaseCreate& thread) { thread.setDirectInsert(direct); });
        QVERIFY(run.finished);
        QCOMPARE(run.report.directInsert, direct && linkedHandleAvailable());

        QCOMPARE(run.lines, firstBuildLines() + IndexLines + QStringList { FinalLine });
        QCOMPARE(run.texts,
            QStringList({ "Обработка таблицы SOCRBASE. Шаг 1 из 11. ",
                "Создание таблицы KLADR. Шаг 2 из 11. ", "Создание таблицы STREET. Шаг 3 из 11. ",
                "Создание таблицы DOMA. Шаг 4 из 11. ", "Создание индексов... Шаг 5 из 11. ",
                "Создание индексов... Шаг 6 из 11. ", "Создание индексов... Шаг 7 из 11. ",
                "Создание индексов... Шаг 8 из 11. ", "Создание индексов... Шаг 9 из 11. ",
                "Создание индексов... Шаг 10 из 11. ", "Создание индексов... Шаг 11 из 11. " })
                + PostalIndexTexts);
        QCOMPARE(run.visible, QList<bool>({ true, false }));
        QCOMPARE(run.created, QList<bool>({ true }));
        QVERIFY(run.hostReady);
        QCOMPARE(run.readyCalls, 1);

        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("KLADR")), ExpectedKladr);
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("STREET")), ExpectedStreet);
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("DOMA")), ExpectedDoma);
        QCOMPARE(Fixture::sqlValues(database(),
                     QStringLiteral("SELECT name FROM sqlite_master WHERE type='index' ORDER BY name")),
            QStringList({ "index_doma_index", "index_doma_postal", "index_kladr_code",
                "index_kladr_name_upper", "index_kladr_nu_code", "index_kladr_postal", "index_streets_code",
                "index_streets_code_kladr", "index_streets_name_upper", "index_streets_nu_ck",
                "index_streets_postal" }));
        // Every name once, with the number of records that bear it: the search weighs its ways
        // by these counts, and a mask beginning with a wildcard finds its names here.
        for (const char* table : { "KLADR", "STREET" }) {
            const QStringList counted = Fixture::sqlValues(database(),
                QStringLiteral("SELECT name_upper || ':' || count(*) FROM %1 WHERE name_upper IS NOT NULL "
                               "GROUP BY name_upper ORDER BY name_upper")
                    .arg(QLatin1String(table)));
            QVERIFY(!counted.isEmpty());
            QCOMPARE(
                Fixture::sqlValues(database(),
                    QStringLiteral("SELECT name_upper || ':' || records FROM %1_NAMES ORDER BY name_upper")
                        .arg(QLatin1String(table))),
                counted);
        }
        // Planner statistics come with the first build.
        QVERIFY(run.report.analyzed);
        QVERIFY(!Fixture::sqlValues(database(), QStringLiteral("SELECT tbl FROM sqlite_stat1")).isEmpty());
    }

    void progressFollowsRowsWithoutFlooding()
    {
        QVERIFY(QDir().mkpath(m_DbDir + QStringLiteral("/BASE")));
        QVERIFY(QFile::copy(Fixture::socrbasePath(), basePath(QStringLiteral("SOCRBASE.DBF"))));
        Rows rows;
        for (int i = 0; i < 25000; ++i)
            rows << QStringList { QStringLiteral("Улица %1").arg(i), "ул",
                QStringLiteral("770000000000001%1").arg(i % 10) };
        QVERIFY(Fixture::writeTable(basePath(QStringLiteral("STREET.DBF")), Table::Street, rows));
        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);

        // STREET's stretch: from its maximum to the index stage's (0, 7).
        const int start = run.progress.indexOf(qMakePair(0, 25000));
        const int indexStage = run.progress.indexOf(qMakePair(0, 7));
        QVERIFY(start >= 0);
        QVERIFY(indexStage > start);
        const QList<QPair<int, int>> street = run.progress.mid(start + 1, indexStage - start - 1);
        QVERIFY2(street.size() <= 1001, qPrintable(QString::number(street.size())));
        QVERIFY(street.size() >= 100);
        int previous = -1;
        for (const auto& [value, max] : street) {
            QCOMPARE(max, -1);
            QVERIFY(value > previous);
            previous = value;
        }
        QCOMPARE(street.last().first, 24999);
        const QList<QPair<int, int>> indexProgress
            = { { 0, 7 }, { 1, -1 }, { 2, -1 }, { 3, -1 }, { 4, -1 }, { 5, -1 }, { 6, -1 }, { 7, -1 } };
        QCOMPARE(run.progress.mid(indexStage), indexProgress);
        QCOMPARE(run.progress.first(), qMakePair(0, -1));
    }

    void blocks_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("deletedEvery");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("blocks");
        QTest::newRow("empty") << 0 << 0 << 0 << 1;
        QTest::newRow("one") << 1 << 0 << 1 << 1;
        QTest::newRow("10200 rows in one block") << 10200 << 0 << 10200 << 1;
        QTest::newRow("10201 rows in two blocks") << 10201 << 0 << 10201 << 2;
        QTest::newRow("20400 rows in two blocks") << 20400 << 0 << 20400 << 2;
        // Deleted records are skipped while fetching and do not count against a block.
        QTest::newRow("10251 records, 51 deleted") << 10251 << 201 << 10200 << 1;
    }

    void blocks()
    {
        QFETCH(int, records);
        QFETCH(int, deletedEvery);
        QFETCH(int, rows);
        QFETCH(int, blocks);
        QVERIFY(QDir().mkpath(m_DbDir + QStringLiteral("/BASE")));
        QVERIFY(QFile::copy(Fixture::socrbasePath(), basePath(QStringLiteral("SOCRBASE.DBF"))));
        Rows doma;
        QList<bool> deleted;
        for (int i = 0; i < records; ++i) {
            doma << QStringList { QString::number(i), "", "ДОМ", QStringLiteral("7700000000000010001") };
            deleted << (deletedEvery > 0 && i % deletedEvery == 0);
        }
        QVERIFY(Fixture::writeTable(basePath(QStringLiteral("DOMA.DBF")), Table::Doma, doma, deleted));
        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        QVERIFY(run.lines.contains(QStringLiteral("Добавление %1 строк...").arg(records)));
        QCOMPARE(run.report.doma.blocks, blocks);
        QCOMPARE(run.report.doma.rows, qint64(rows));
        QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM DOMA")),
            QStringList { QString::number(rows) });
        if (records > 0) {
            // The last record of the file made it in (not lost at a block edge).
            QCOMPARE(
                Fixture::sqlValues(database(), QStringLiteral("SELECT MAX(CAST(name AS INTEGER)) FROM DOMA")),
                QStringList { QString::number(records - 1) });
        }
    }

    // Each code column takes what the character positions yield, never NULL.
    void shortCodes_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<QStringList>("expected");
        const QStringList kladr = { "code", "code_ss", "code_rrr", "code_ggg", "code_ppp", "code_st" };
        QTest::newRow("KLADR empty") << "KLADR"
                                     << "" << kladr << QStringList { "", "", "", "", "", "" };
        QTest::newRow("KLADR 1") << "KLADR"
                                 << "5" << kladr << QStringList { "5", "5", "", "", "", "5" };
        QTest::newRow("KLADR 7") << "KLADR"
                                 << "1234567" << kladr
                                 << QStringList { "1234567", "12", "345", "67", "", "67" };
        QTest::newRow("KLADR 12") << "KLADR"
                                  << "123456789012" << kladr
                                  << QStringList { "12345678901", "12", "345", "678", "901", "12" };
        const QStringList street = { "code", "code_kladr", "code_st" };
        QTest::newRow("STREET 3") << "STREET"
                                  << "123" << street << QStringList { "123", "123", "23" };
        QTest::newRow("STREET 13") << "STREET"
                                   << "1234567890123" << street
                                   << QStringList { "1234567890123", "12345678901", "23" };
        const QStringList doma = { "code_kladr", "code_street", "code_st" };
        QTest::newRow("DOMA 1") << "DOMA"
                                << "1" << doma << QStringList { "1", "1", "1" };
        QTest::newRow("DOMA 16") << "DOMA"
                                 << "1234567890123456" << doma
                                 << QStringList { "12345678901", "123456789012345", "56" };
    }

    void shortCodes()
    {
        QFETCH(QString, table);
        QFETCH(QString, code);
        QFETCH(QStringList, columns);
        QFETCH(QStringList, expected);
        QVERIFY(QDir().mkpath(m_DbDir + QStringLiteral("/BASE")));
        QVERIFY(QFile::copy(Fixture::socrbasePath(), basePath(QStringLiteral("SOCRBASE.DBF"))));
        const Table kind = table == QLatin1String("KLADR") ? Table::Kladr
            : table == QLatin1String("STREET")             ? Table::Street
                                                           : Table::Doma;
        QStringList row = { "Имя", "ул", "", "" };
        row[kind == Table::Doma ? 3 : 2] = code;
        QVERIFY(Fixture::writeTable(basePath(table + QStringLiteral(".DBF")), kind, { row }));
        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        QStringList actual;
        for (const QString& column : columns) {
            actual << Fixture::sqlValues(database(),
                QStringLiteral("SELECT CASE WHEN %1 IS NULL THEN '<NULL>' ELSE %1 END FROM %2")
                    .arg(column, table));
        }
        QCOMPARE(actual, expected);
    }

    void laterDictionaryRecordWins()
    {
        QVERIFY(QDir().mkpath(m_DbDir + QStringLiteral("/BASE")));
        QVERIFY(Fixture::writeSocrbase(basePath(QStringLiteral("SOCRBASE.DBF")),
            { { "5", "ул", "Улица", "529" }, { "4", "д", "Деревня", "429" },
                { "5", "ул", "Улочка", "530" } }));
        QVERIFY(Fixture::writeTable(basePath(QStringLiteral("KLADR.DBF")), Table::Kladr,
            { { "Ивановка", "д", "5000100000100" }, { "Улицкое", "ул", "5000100000200" },
                { "Неведомое", "нп", "5000100000300" } }));
        QVERIFY(Fixture::writeTable(basePath(QStringLiteral("STREET.DBF")), Table::Street,
            { { "Ленина", "ул", "50001000001000100" } }));
        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        QVERIFY(run.lines.contains(QStringLiteral("Добавление 3 строк...")));
        QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT socr FROM KLADR ORDER BY rowid")),
            QStringList({ "Деревня", "Улочка", "" }));
        QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT socr FROM STREET")),
            QStringList { "Улочка" });
    }

    void namesWithQuotes_data()
    {
        QTest::addColumn<bool>("direct");
        QTest::addColumn<QString>("name");
        const QList<QPair<const char*, QString>> names = {
            { "apostrophe", QStringLiteral("Д'Артаньяна") },
            { "two apostrophes", QStringLiteral("''") },
            { "double quotes", QStringLiteral("снт \"Рассвет\"") },
            { "both", QStringLiteral("\"O'Hara\"") },
            { "statement", QStringLiteral("x'); DROP TABLE KLADR; --") },
            { "placeholder", QStringLiteral("%1 ? :name") },
        };
        for (const bool direct : { true, false }) {
            for (const auto& [row, name] : names)
                QTest::addRow("%s, %s", row, direct ? "connection's handle" : "Qt's prepared query")
                    << direct << name;
        }
    }

    void namesWithQuotes()
    {
        QFETCH(bool, direct);
        QFETCH(QString, name);
        writeSmallClassifier();
        // The odd name sits amid its block; with literal statements it would cost the rest.
        Rows streets;
        for (int i = 0; i < 300; ++i) {
            streets << QStringList { i == 100 ? name : QStringLiteral("Улица %1").arg(i), "ул",
                QStringLiteral("77000000000%1").arg(i, 4, 10, QLatin1Char('0')) + QStringLiteral("00") };
        }
        QVERIFY(Fixture::writeTable(basePath(QStringLiteral("STREET.DBF")), Table::Street, streets));
        const RunResult run = runImport(
            m_AppDir, m_DbDir, [direct](ThreadDataBaseCreate& thread) { thread.setDirectInsert(direct); });
        QVERIFY(run.finished);
        QCOMPARE(run.created, QList<bool>({ true }));
        QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM STREET")),
            QStringList { "300" });
        QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT name FROM STREET WHERE rowid = 101")),
            QStringList { name });
        QCOMPARE(
            Fixture::sqlValues(database(), QStringLiteral("SELECT name_upper FROM STREET WHERE rowid = 101")),
            QStringList { name.toUpper() });
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("KLADR")), ExpectedKladr);
    }

    void missingTableFile_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("failedIndexFrom");
        QTest::addColumn<int>("failedIndexTo");
        QTest::newRow("KLADR") << QStringLiteral("KLADR") << 0 << 3;
        QTest::newRow("STREET") << QStringLiteral("STREET") << 3 << 6;
        QTest::newRow("DOMA") << QStringLiteral("DOMA") << 6 << 7;
    }

    void missingTableFile()
    {
        QFETCH(QString, table);
        QFETCH(int, failedIndexFrom);
        QFETCH(int, failedIndexTo);
        writeSmallClassifier();
        QVERIFY(QFile::remove(basePath(table + QStringLiteral(".DBF"))));
        QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("Unable to open %1.DBF").arg(table)));
        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);

        QStringList expected = firstBuildLines(table);
        for (int i = 0; i < ClassifierIndexes; ++i) {
            expected << IndexLines.at(i);
            if (i >= failedIndexFrom && i < failedIndexTo)
                expected << QStringLiteral("Проблема при создании индекса. Ошибка: 'no such table: main.%1 "
                                           "Unable to execute statement'")
                                .arg(table);
        }
        expected << FailedLine;
        QCOMPARE(run.lines, expected);
        QCOMPARE(run.created, QList<bool>({ false }));
        QVERIFY(!run.hostReady);
        QCOMPARE(run.readyCalls, 1);

        const QStringList tables = Fixture::sqlValues(database(),
            QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name IN "
                           "('KLADR','STREET','DOMA','info')"));
        QVERIFY(!tables.contains(table));
        // An incomplete database is neither stamped nor announced.
        QVERIFY(!tables.contains(QStringLiteral("info")));
        QVERIFY(QDir(m_AppDir).isEmpty());
        // The other tables are complete.
        if (table != QLatin1String("KLADR"))
            QCOMPARE(Fixture::tableRows(database(), QStringLiteral("KLADR")), ExpectedKladr);
        if (table != QLatin1String("STREET"))
            QCOMPARE(Fixture::tableRows(database(), QStringLiteral("STREET")), ExpectedStreet);
        if (table != QLatin1String("DOMA"))
            QCOMPARE(Fixture::tableRows(database(), QStringLiteral("DOMA")), ExpectedDoma);

        // Once the file is back, the next run fills just that table.
        writeSmallClassifier();
        const RunResult again = runImport(m_AppDir, m_DbDir);
        QVERIFY(again.finished);
        QCOMPARE(again.created, QList<bool>({ true }));
        QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)),
            QStringList { "3" });
        QVERIFY(again.report.published);
        QCOMPARE(
            Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM info")), QStringList { "1" });
    }

    // Without the dictionary nothing is built (every type name would stay blank for good); once
    // it is back, the next run builds everything with the type names.
    void missingDictionaryBuildsNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("missing") << QStringLiteral("missing");
        QTest::newRow("empty file") << QStringLiteral("empty");
        QTest::newRow("directory") << QStringLiteral("directory");
        QTest::newRow("no records") << QStringLiteral("no records");
    }

    void missingDictionaryBuildsNothing()
    {
        QFETCH(QString, fault);
        writeSmallClassifier();
        const QString path = basePath(QStringLiteral("SOCRBASE.DBF"));
        QVERIFY(QFile::remove(path));
        if (fault == QLatin1String("empty")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (fault == QLatin1String("directory")) {
            QVERIFY(QDir().mkpath(path));
        } else if (fault == QLatin1String("no records")) {
            QVERIFY(Fixture::writeSocrbase(path, {}));
        }
        if (fault != QLatin1String("no records"))
            QTest::ignoreMessage(QtDebugMsg, "Unable to open SOCRBASE.DBF");
        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        QCOMPARE(run.lines.first(), openLine(path));
        QVERIFY(run.lines.contains(
            QStringLiteral("Без справочника SOCRBASE.DBF таблицы базы данных не создаются.")));
        QVERIFY(!run.lines.contains(QStringLiteral("Таблица KLADR не существует.")));
        QCOMPARE(run.lines.last(), FailedLine);
        QCOMPARE(run.created, QList<bool>({ false }));
        QVERIFY(!run.hostReady);
        QCOMPARE(
            Fixture::sqlValues(database(), QStringLiteral("SELECT name FROM sqlite_master")), QStringList());
        QVERIFY(QDir(m_AppDir).isEmpty());

        QVERIFY(QDir(path).removeRecursively() || QFile::remove(path));
        writeSmallClassifier();
        const RunResult again = runImport(m_AppDir, m_DbDir);
        QVERIFY(again.finished);
        QCOMPARE(again.created, QList<bool>({ true }));
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("KLADR")), ExpectedKladr);
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("STREET")), ExpectedStreet);
    }

    // A complete database is checked without BASE/ at all: a database received by update.
    void completeDatabaseNeedsNoClassifier()
    {
        writeSmallClassifier();
        QVERIFY(runImport(m_AppDir, m_DbDir).finished);
        QVERIFY(QDir(m_DbDir + QStringLiteral("/BASE")).removeRecursively());
        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        QCOMPARE(run.lines,
            QStringList({ "Таблица KLADR существует.", "Таблица STREET существует." }) + IndexLines
                + QStringList { FinalLine });
        QCOMPARE(run.created, QList<bool>({ true }));
        QVERIFY(run.hostReady);
    }

    void emptyFile_data()
    {
        QTest::addColumn<QString>("table");
        QTest::newRow("KLADR") << QStringLiteral("KLADR");
        QTest::newRow("STREET") << QStringLiteral("STREET");
        QTest::newRow("DOMA") << QStringLiteral("DOMA");
    }

    void emptyFile()
    {
        QFETCH(QString, table);
        writeSmallClassifier();
        const Table kind = table == QLatin1String("KLADR") ? Table::Kladr
            : table == QLatin1String("STREET")             ? Table::Street
                                                           : Table::Doma;
        QVERIFY(Fixture::writeTable(basePath(table + QStringLiteral(".DBF")), kind, {}));
        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        const int creating = run.lines.indexOf(QStringLiteral("Создание таблицы %1.").arg(table));
        QVERIFY(creating > 0);
        QCOMPARE(run.lines.value(creating + 1), QStringLiteral("Добавление 0 строк..."));
        QCOMPARE(run.created, QList<bool>({ true }));
        QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)),
            QStringList { "0" });
        QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM KLADR")).value(0),
            table == QLatin1String("KLADR") ? QStringLiteral("0") : QStringLiteral("3"));
    }

    // The header is checked against the file before any row goes in: the size it announces
    // (header length + count × record length, an end-of-file byte allowed) must be the file's,
    // and its record length must hold the fields.
    void headerDoesNotFit_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("count"); // written into the header; -2: keep it
        QTest::addColumn<int>("recordLength"); // written into the header; 0: keep it
        QTest::addColumn<int>("cut"); // bytes cut off the end
        const int recordLength = 1 + 40 + 10 + 10 + 19 + 6 + 4 + 4 + 11;
        QTest::newRow("-1") << "DOMA.DBF" << qint64(0xFFFFFFFF) << 0 << 0;
        QTest::newRow("0x80000000") << "DOMA.DBF" << qint64(0x80000000) << 0 << 0;
        QTest::newRow("0x7FFFFFFF") << "DOMA.DBF" << qint64(0x7FFFFFFF) << 0 << 0;
        QTest::newRow("present + 1") << "DOMA.DBF" << qint64(601) << 0 << 0;
        QTest::newRow("0") << "DOMA.DBF" << qint64(0) << 0 << 0;
        QTest::newRow("present - 1") << "DOMA.DBF" << qint64(599) << 0 << 0;
        // The end-of-file mark and half of the last record are gone.
        QTest::newRow("last record cut") << "DOMA.DBF" << qint64(-2) << 0 << 1 + recordLength / 2;
        QTest::newRow("dictionary") << "SOCRBASE.DBF" << qint64(149) << 0 << 0;
        QTest::newRow("dictionary, 0") << "SOCRBASE.DBF" << qint64(0) << 0 << 0;
        QTest::newRow("record shorter than its fields") << "DOMA.DBF" << qint64(-2) << recordLength - 1 << 0;
    }

    void headerDoesNotFit()
    {
        QFETCH(QString, file);
        QFETCH(qint64, count);
        QFETCH(int, recordLength);
        QFETCH(int, cut);
        writeSmallClassifier();
        Rows rows;
        for (int i = 0; i < 600; ++i)
            rows << QStringList { QString::number(i), "", "ДОМ", QStringLiteral("7700000000000010001") };
        QVERIFY(Fixture::writeTable(basePath(QStringLiteral("DOMA.DBF")), Table::Doma, rows));
        const QString path = basePath(file);
        const QByteArray whole = Fixture::readFile(path);
        QString expectedLine;
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            const QByteArray header = f.read(12);
            const qint64 headerLength = quint8(header[8]) | (quint8(header[9]) << 8);
            const int fieldsLength = quint8(header[10]) | (quint8(header[11]) << 8);
            qint32 announced = quint8(header[4]) | (quint8(header[5]) << 8) | (quint8(header[6]) << 16)
                | (quint32(quint8(header[7])) << 24);
            if (count != -2) {
                QVERIFY(f.seek(4));
                const quint32 n = quint32(count);
                const char bytes[] = { char(n), char(n >> 8), char(n >> 16), char(n >> 24) };
                QCOMPARE(f.write(bytes, 4), qint64(4));
                announced = qint32(n);
            }
            if (recordLength) {
                QVERIFY(f.seek(10));
                const char bytes[] = { char(recordLength), char(recordLength >> 8) };
                QCOMPARE(f.write(bytes, 2), qint64(2));
            }
            QVERIFY(f.resize(f.size() - cut));
            if (recordLength) {
                expectedLine = QStringLiteral("' повреждён: длина записи в его заголовке %1 байт, а его поля "
                                              "занимают %2. Замените файл целым.")
                                   .arg(recordLength)
                                   .arg(fieldsLength);
            } else {
                expectedLine = QStringLiteral("' повреждён: по его заголовку размер файла %1 байт, а файл "
                                              "занимает %2. Замените файл целым.")
                                   .arg(headerLength + qint64(announced) * fieldsLength)
                                   .arg(f.size());
            }
        }
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Header does not fit")));
        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        QVERIFY2(run.lines.contains(QStringLiteral("Файл '") + path + expectedLine),
            qPrintable(run.lines.join('\n')));
        QCOMPARE(run.lines.last(), FailedLine);
        QCOMPARE(run.created, QList<bool>({ false }));
        // Failed at once: no table was touched, nothing announced.
        QCOMPARE(
            Fixture::sqlValues(database(), QStringLiteral("SELECT name FROM sqlite_master")), QStringList());
        QVERIFY(QDir(m_AppDir).isEmpty());

        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(whole);
        f.close();
        const RunResult again = runImport(m_AppDir, m_DbDir);
        QVERIFY(again.finished);
        QCOMPARE(again.created, QList<bool>({ true }));
        QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM DOMA")),
            QStringList { "600" });
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("KLADR")), ExpectedKladr);
    }

    void existingTableIsSkippedNotEmptied()
    {
        writeSmallClassifier();
        QVERIFY(QDir().mkpath(m_DbDir));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("prepare"));
            db.setDatabaseName(database());
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(QLatin1String(Schema::CreateStreet)));
            QVERIFY(query.exec(QStringLiteral("INSERT INTO STREET (name) VALUES ('Старая')")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("prepare"));

        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        QVERIFY(run.lines.contains(QStringLiteral("Таблица STREET существует.")));
        QVERIFY(!run.lines.contains(openLine(basePath(QStringLiteral("STREET.DBF")))));
        QCOMPARE(run.created, QList<bool>({ true }));
        QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT name FROM STREET")),
            QStringList { "Старая" });
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("DOMA")), ExpectedDoma);
    }

    void rerunOnCompleteDatabase()
    {
        writeSmallClassifier();
        const RunResult first = runImport(m_AppDir, m_DbDir);
        QVERIFY(first.finished);
        const QStringList version
            = Fixture::sqlValues(database(), QStringLiteral("SELECT version FROM info"));
        QCOMPARE(version.size(), 1);
        const QByteArray descriptor = Fixture::readFile(m_AppDir + QStringLiteral("/update.info"));

        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        // Nothing to build, so the dictionary is not read.
        QCOMPARE(run.lines,
            QStringList({ "Таблица KLADR существует.", "Таблица STREET существует." }) + IndexLines
                + QStringList { FinalLine });
        QCOMPARE(run.texts,
            QStringList({ "Создание индексов... Шаг 5 из 11. ", "Создание индексов... Шаг 6 из 11. ",
                "Создание индексов... Шаг 7 из 11. ", "Создание индексов... Шаг 8 из 11. ",
                "Создание индексов... Шаг 9 из 11. ", "Создание индексов... Шаг 10 из 11. ",
                "Создание индексов... Шаг 11 из 11. " })
                + PostalIndexTexts);
        QCOMPARE(run.created, QList<bool>({ true }));
        QCOMPARE(Fixture::readFile(m_AppDir + QStringLiteral("/update.info")), descriptor);
        QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT version FROM info")), version);
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("DOMA")), ExpectedDoma);
        // Nothing new to plan for: statistics are not gathered again.
        QVERIFY(!run.report.analyzed);
        QVERIFY(!run.report.published);
    }

    void firstBuildPublishes()
    {
        writeSmallClassifier();
        const QDateTime before = QDateTime::currentDateTimeUtc();
        const RunResult run = runImport(m_AppDir, m_DbDir);
        const QDateTime after = QDateTime::currentDateTimeUtc();
        QVERIFY(run.finished);
        const QStringList version
            = Fixture::sqlValues(database(), QStringLiteral("SELECT version FROM info"));
        QCOMPARE(version.size(), 1);
        // Qt's text date of the UTC time of this run.
        QStringList candidates;
        for (QDateTime t = before.addMSecs(-before.time().msec()); t <= after; t = t.addSecs(1))
            candidates << t.toString(Qt::TextDate);
        QVERIFY2(candidates.contains(version.first()),
            qPrintable(version.first() + " / " + candidates.join(", ")));

        QSettings descriptor(m_AppDir + QStringLiteral("/update.info"), QSettings::IniFormat);
        descriptor.setIniCodec(QTextCodec::codecForName("Windows-1251"));
        QCOMPARE(
            descriptor.value(QStringLiteral("ThisFile/CodePage")).toString(), QStringLiteral("Windows-1251"));
        QCOMPARE(descriptor.value(QStringLiteral("DataBase/Version")).toString(), version.first());
        QCOMPARE(
            descriptor.value(QStringLiteral("DataBase/FileName")).toString(), QStringLiteral("KLADR.sqlite"));
        QCOMPARE(descriptor.value(QStringLiteral("DataBase/FileType")).toString(),
            QStringLiteral("!!! set RAW or ZIP here !!!. It's better to use ZIP-file. "
                           "Destination zip-file name can be like KLADR.sqlite.zip"));

        QSettings settings(m_AppDir + QStringLiteral("/Velmora.ini"), QSettings::IniFormat);
        QCOMPARE(
            settings.value(QStringLiteral("ThisFile/CodePage")).toString(), QStringLiteral("Windows-1251"));
        QCOMPARE(settings.value(QStringLiteral("Updater/UpdatePath")).toString(), QStringLiteral("./"));
        QCOMPARE(
            settings.value(QStringLiteral("Updater/InfoFile")).toString(), QStringLiteral("update.info"));
        QCOMPARE(settings.value(QStringLiteral("LocalDB/Path")).toString(), m_DbDir + QLatin1Char('/'));
    }

    void existingFilesAreLeftAlone_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("settings") << QStringLiteral("Velmora.ini");
        QTest::newRow("descriptor") << QStringLiteral("update.info");
    }

    void existingFilesAreLeftAlone()
    {
        QFETCH(QString, file);
        writeSmallClassifier();
        const QByteArray old = "[DataBase]\nVersion=old\n";
        {
            QFile f(m_AppDir + QLatin1Char('/') + file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(old);
        }
        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        QCOMPARE(Fixture::readFile(m_AppDir + QLatin1Char('/') + file), old);
        const QString other = file == QLatin1String("Velmora.ini") ? QStringLiteral("update.info")
                                                                   : QStringLiteral("Velmora.ini");
        QVERIFY(QFile::exists(m_AppDir + QLatin1Char('/') + other));
        QCOMPARE(
            Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM info")), QStringList { "1" });
    }

    void missingLocalDbDirIsCreated()
    {
        m_DbDir = m_Dir->path() + QStringLiteral("/not/yet/there");
        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        QCOMPARE(run.lines.mid(0, 3),
            QStringList({ QStringLiteral("Каталог хранения локальной базы данных не существует: '") + m_DbDir
                    + "'",
                QStringLiteral("Каталог хранения локальной базы данных: '") + m_DbDir + "'' успешно создан.",
                openLine(basePath(QStringLiteral("SOCRBASE.DBF"))) }));
        QVERIFY(QDir(m_DbDir).exists());
        // No classifier there: the run reports failure but still ends properly.
        QCOMPARE(run.created, QList<bool>({ false }));
        QCOMPARE(run.lines.last(), FailedLine);
    }

    void uncreatableLocalDbDir()
    {
        const QString blocker = m_Dir->path() + QStringLiteral("/blocker");
        {
            QFile f(blocker);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        m_DbDir = blocker + QStringLiteral("/db");
        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        QCOMPARE(run.lines.mid(0, 2),
            QStringList(
                { QStringLiteral("Каталог хранения локальной базы данных не существует: '") + m_DbDir + "'",
                    QStringLiteral("Не удалось создать каталог хранения локальной базы данных: '") + m_DbDir
                        + "'" }));
        QCOMPARE(run.created, QList<bool>({ false }));
        QCOMPARE(run.lines.last(), FailedLine);
    }

    // Running as root, permissions do not stop a write; a directory in the database file's
    // place does.
    void databaseFileNotWritable()
    {
        writeSmallClassifier();
        QVERIFY(QDir().mkpath(database()));
        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        for (const QString& table :
            { QStringLiteral("KLADR"), QStringLiteral("STREET"), QStringLiteral("DOMA") }) {
            const QString prefix = QStringLiteral("Не удалось создать таблицу %1. Ошибка: '").arg(table);
            const auto it = std::find_if(run.lines.begin(), run.lines.end(), [&](const QString& line) {
                // The reason is given, not an empty quote.
                return line.startsWith(prefix) && line.endsWith(QLatin1Char('\''))
                    && line.size() > prefix.size() + 1;
            });
            QVERIFY2(it != run.lines.end(), qPrintable(run.lines.join('\n')));
        }
        QCOMPARE(run.lines.filter(QStringLiteral("Проблема при создании индекса. Ошибка: '")).size(), 7);
        QCOMPARE(run.created, QList<bool>({ false }));
        QVERIFY(!run.hostReady);
        QCOMPARE(run.lines.last(), FailedLine);
        QVERIFY(QFileInfo(database()).isDir());
    }

    // Closing the window asks the thread to stop: the block in progress is not committed and
    // nothing after it runs.
    void interruptionStopsAtOnce()
    {
        writeSmallClassifier();
        RecordingHost host;
        ThreadDataBaseCreate thread;
        thread.setHost(&host);
        thread.setDirectories(m_AppDir, m_DbDir);
        QSignalSpy created(&thread, &ThreadDataBaseCreate::signalDataBaseCreated);
        // Runs in the worker thread, right before STREET's rows are read.
        connect(
            &thread, &ThreadDataBaseCreate::signalUpdateText, &thread,
            [&thread](const QString& text) {
                if (text.startsWith(QStringLiteral("Создание таблицы STREET.")))
                    thread.requestInterruption();
            },
            Qt::DirectConnection);
        thread.start();
        QVERIFY(thread.wait(60000));
        QCOMPARE(created.count(), 0);
        QCOMPARE(host.readyCalls(), 0);
        QCOMPARE(host.lines().last(), QStringLiteral("Добавление 3 строк..."));
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("KLADR")), ExpectedKladr);
        // STREET is not there under its own name: only its working table, dropped by the next run.
        QCOMPARE(
            Fixture::sqlValues(database(),
                QStringLiteral("SELECT name FROM sqlite_master WHERE name IN ('STREET', 'DOMA', 'info')")),
            QStringList());
        const RunResult again = runImport(m_AppDir, m_DbDir);
        QVERIFY(again.finished);
        QVERIFY(again.lines.contains(
            QStringLiteral("Удаление неполных таблиц прерванного импорта: STREET_partial.")));
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("STREET")), ExpectedStreet);
        QCOMPARE(Fixture::sqlValues(
                     database(), QStringLiteral("SELECT name FROM sqlite_master WHERE name LIKE '%partial'")),
            QStringList());
    }

    // Stopped after some blocks (the window closed), the table is not there under its name;
    // the next run drops the working table and imports every live record.
    void stopAfterBlocksThenComplete_data()
    {
        QTest::addColumn<int>("blocks");
        QTest::newRow("after one block") << 1;
        QTest::newRow("after two blocks") << 2;
    }

    void stopAfterBlocksThenComplete()
    {
        QFETCH(int, blocks);
        writeSmallClassifier();
        const int live = writeDoma(25000, 97);
        const RunResult stopped = runImport(m_AppDir, m_DbDir, [blocks](ThreadDataBaseCreate& thread) {
            auto inDoma = std::make_shared<bool>(false);
            QObject::connect(
                &thread, &ThreadDataBaseCreate::signalUpdateProgress, &thread,
                [&thread, inDoma, blocks](int nValue, int nMax) {
                    if (nMax != -1)
                        *inDoma = nMax == 25000;
                    else if (*inDoma && nValue >= blocks * 10200 + 100)
                        thread.requestInterruption();
                },
                Qt::DirectConnection);
        });
        QVERIFY(stopped.finished);
        QVERIFY(stopped.created.isEmpty());
        // Counted rows are committed rows: the block in progress went back. Deleted records do
        // not count against a block.
        QCOMPARE(stopped.report.doma.rows, qint64(blocks * 10200));
        QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM DOMA_partial")),
            QStringList { QString::number(stopped.report.doma.rows) });
        QCOMPARE(Fixture::sqlValues(database(),
                     QStringLiteral("SELECT name FROM sqlite_master WHERE name IN ('DOMA', 'info')")),
            QStringList());

        const RunResult again = runImport(m_AppDir, m_DbDir);
        QVERIFY(again.finished);
        QCOMPARE(again.created, QList<bool>({ true }));
        QCOMPARE(again.lines.filter(QStringLiteral("Удаление неполных таблиц")),
            QStringList { QStringLiteral("Удаление неполных таблиц прерванного импорта: DOMA_partial.") });
        QCOMPARE(again.report.doma.rows, qint64(live));
        QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM DOMA")),
            QStringList { QString::number(live) });
        QCOMPARE(
            Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM info")), QStringList { "1" });
    }

    // A full disk, made by capping the database's pages: mid-table (a block fails) or in the
    // index stage. The run fails with a line that names the full disk and publishes nothing;
    // the next run without the cap completes.
    void diskFull_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("direct");
        QTest::newRow("mid-table") << QStringLiteral("mid-table") << true;
        QTest::newRow("mid-table, Qt's prepared query") << QStringLiteral("mid-table") << false;
        QTest::newRow("index") << QStringLiteral("index") << true;
    }

    void diskFull()
    {
        QFETCH(QString, where);
        QFETCH(bool, direct);
        writeSmallClassifier();
        const int live = writeDoma(30000, 0);
        // Page counts of the same import stopped before DOMA and before the indexes.
        const int beforeDoma = pagesWhenStopped(QStringLiteral("Создание таблицы DOMA."));
        const int tablesOnly = pagesWhenStopped(QString());
        QVERIFY(beforeDoma > 0);
        QVERIFY(tablesOnly > beforeDoma + 10);
        const int cap = where == QLatin1String("index") ? tablesOnly : (beforeDoma + tablesOnly) / 2;

        const RunResult run = runImport(m_AppDir, m_DbDir, [cap, direct](ThreadDataBaseCreate& thread) {
            thread.setMaxPageCount(cap);
            thread.setDirectInsert(direct);
        });
        QVERIFY(run.finished);
        QCOMPARE(run.created, QList<bool>({ false }));
        QVERIFY(!run.hostReady);
        QCOMPARE(run.lines
                     .filter(QStringLiteral("Недостаточно места на диске в каталоге локальной базы данных '")
                         + m_DbDir + QStringLiteral("' (SQLite: 'database or disk is full')"))
                     .size(),
            1);
        QCOMPARE(run.lines.last(), FailedLine);
        QVERIFY(QDir(m_AppDir).isEmpty());
        QVERIFY(!Fixture::sqlValues(database(), QStringLiteral("SELECT name FROM sqlite_master"))
                     .contains("info"));
        if (where == QLatin1String("index")) {
            QVERIFY(run.lines.contains(IndexLines.first()));
            QVERIFY(!run.lines.contains(IndexLines.at(1)));
            QCOMPARE(run.report.doma.rows, qint64(live));
        } else {
            QVERIFY(
                run.lines
                    .filter(QStringLiteral("Проблема при вставке строк. Ошибка: 'database or disk is full'"))
                    .size()
                == 1);
            QVERIFY(!run.lines.contains(IndexLines.first()));
            QVERIFY(run.report.doma.rows > 0);
            QVERIFY(run.report.doma.rows < live);
            QCOMPARE(run.report.doma.rows % 10200, qint64(0));
            QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM DOMA_partial")),
                QStringList { QString::number(run.report.doma.rows) });
        }

        const RunResult again = runImport(m_AppDir, m_DbDir);
        QVERIFY(again.finished);
        QCOMPARE(again.created, QList<bool>({ true }));
        QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM DOMA")),
            QStringList { QString::number(live) });
        // The seven and the four of the search by postal index.
        QCOMPARE(Fixture::sqlValues(
                     database(), QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'index'")),
            QStringList { "11" });
        QCOMPARE(
            Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM info")), QStringList { "1" });
        QVERIFY(QFile::exists(m_AppDir + QStringLiteral("/update.info")));
    }

    // One import at a time per database: a run that finds another one going waits, then fails
    // with a clear line and touches nothing.
    void anotherImportHoldsTheDatabase()
    {
        writeSmallClassifier();
        QLockFile other(database() + QStringLiteral(".lock"));
        QVERIFY(other.tryLock(0));
        const RunResult blocked
            = runImport(m_AppDir, m_DbDir, [](ThreadDataBaseCreate& thread) { thread.setLockTimeout(50); });
        QVERIFY(blocked.finished);
        QCOMPARE(blocked.lines,
            QStringList({ QStringLiteral("Базу данных '") + database()
                    + QStringLiteral("' сейчас изменяет другой процесс (%1, pid %2): импорт или установка "
                                     "обновления. Дождитесь его окончания и повторите.")
                          .arg(QCoreApplication::applicationName())
                          .arg(QCoreApplication::applicationPid()),
                FailedLine }));
        QCOMPARE(blocked.created, QList<bool>({ false }));
        QVERIFY(!QFile::exists(database()));
        other.unlock();

        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        QCOMPARE(run.created, QList<bool>({ true }));
        QVERIFY(!QFile::exists(database() + QStringLiteral(".lock")));
    }

    void twoRunsAtOnce()
    {
        writeSmallClassifier();
        const int live = writeDoma(30000, 0);
        RecordingHost hosts[2];
        ThreadDataBaseCreate threads[2];
        for (int i = 0; i < 2; ++i) {
            threads[i].setHost(&hosts[i]);
            threads[i].setDirectories(m_AppDir, m_DbDir);
        }
        threads[0].start();
        threads[1].start();
        QVERIFY(threads[0].wait(120000));
        QVERIFY(threads[1].wait(120000));
        for (int i = 0; i < 2; ++i) {
            const ThreadDataBaseCreate::RunReport report = threads[i].lastRunReport();
            QVERIFY2(report.success
                    || hosts[i].lines().first().contains(QStringLiteral("сейчас создаёт другой процесс")),
                qPrintable(hosts[i].lines().join('\n')));
        }
        QVERIFY(threads[0].lastRunReport().success || threads[1].lastRunReport().success);
        QCOMPARE(Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM DOMA")),
            QStringList { QString::number(live) });
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("KLADR")), ExpectedKladr);
        QCOMPARE(
            Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM info")), QStringList { "1" });
    }

    // A database SQLite reports as damaged is never built over, stamped or announced.
    void damagedDatabase_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("cut in half") << QStringLiteral("cut");
        QTest::newRow("not a database") << QStringLiteral("garbage");
    }

    void damagedDatabase()
    {
        QFETCH(QString, damage);
        writeSmallClassifier();
        QVERIFY(runImport(m_AppDir, m_DbDir).finished);
        QVERIFY(QFile::remove(m_AppDir + QStringLiteral("/update.info")));
        QVERIFY(QFile::remove(m_AppDir + QStringLiteral("/Velmora.ini")));
        {
            QFile file(database());
            if (damage == QLatin1String("cut")) {
                QVERIFY(file.resize(file.size() / 2));
            } else {
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(QByteArray(70000, 'x'));
            }
        }
        const QByteArray before = Fixture::readFile(database());
        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        const QString reason = damage == QLatin1String("cut")
            ? QStringLiteral("database disk image is malformed")
            : QStringLiteral("file is not a database");
        QCOMPARE(run.lines,
            QStringList({ QStringLiteral("Локальная база данных '") + database()
                    + QStringLiteral("' повреждена (SQLite: '") + reason
                    + QStringLiteral(
                        "'). Удалите этот файл, чтобы база данных была создана заново из каталога BASE, "
                        "или дождитесь, пока обновление заменит её при запуске программы."),
                FailedLine }));
        QCOMPARE(run.created, QList<bool>({ false }));
        QCOMPARE(Fixture::readFile(database()), before);
        QVERIFY(QDir(m_AppDir).isEmpty());

        // Deleted, it is built again.
        QVERIFY(QFile::remove(database()));
        const RunResult again = runImport(m_AppDir, m_DbDir);
        QCOMPARE(again.created, QList<bool>({ true }));
    }

    // An empty file with nothing to build from: nothing is made of it and nothing announced.
    void emptyDatabaseFileWithoutClassifier()
    {
        QVERIFY(QDir().mkpath(m_DbDir));
        {
            QFile file(database());
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QTest::ignoreMessage(QtDebugMsg, "Unable to open SOCRBASE.DBF");
        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        QCOMPARE(run.created, QList<bool>({ false }));
        QCOMPARE(QFileInfo(database()).size(), qint64(0));
        QVERIFY(QDir(m_AppDir).isEmpty());
    }

    // An installation directory that cannot be written keeps the import a success: the database
    // is stamped, one line says it is not offered to others.
    void readOnlyInstallationDirectory()
    {
        writeSmallClassifier();
        const QString blocker = m_Dir->path() + QStringLiteral("/blocker");
        {
            QFile f(blocker);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QString appDir = blocker + QStringLiteral("/app");
        const RunResult run = runImport(appDir, m_DbDir);
        QVERIFY(run.finished);
        QCOMPARE(run.created, QList<bool>({ true }));
        QVERIFY(run.report.published);
        QCOMPARE(run.lines.filter(QStringLiteral("Не удалось записать файлы")),
            QStringList { QStringLiteral("Не удалось записать файлы '") + appDir
                + QStringLiteral("/Velmora.ini', '") + appDir
                + QStringLiteral(
                    "/update.info': каталог программы недоступен для записи. База данных готова, но не "
                    "предложена для обновления других установок.") });
        QCOMPARE(run.lines.last(), FinalLine);
        QCOMPARE(
            Fixture::sqlValues(database(), QStringLiteral("SELECT COUNT(*) FROM info")), QStringList { "1" });
    }

    // A search holding the database while a block commits: the commit fails ("database is
    // locked"), the table stays unfinished and the run fails; the next run completes it.
    void commitFailsWhileTheDatabaseIsRead()
    {
        writeSmallClassifier();
        const RunResult run = runImport(m_AppDir, m_DbDir, [this](ThreadDataBaseCreate& thread) {
            const QString path = database();
            auto opened = std::make_shared<bool>(false);
            // Both run in the import thread, which owns the reading connection meanwhile: it
            // opens once KLADR's working table exists and closes when STREET begins.
            QObject::connect(
                &thread, &ThreadDataBaseCreate::signalUpdateProgress, &thread,
                [path, opened](int, int nMax) {
                    if (nMax != 3 || *opened)
                        return;
                    *opened = true;
                    QSqlDatabase reader
                        = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
                    reader.setDatabaseName(path);
                    reader.open();
                    QSqlQuery query(reader);
                    query.exec(QStringLiteral("BEGIN"));
                    query.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master"));
                    query.next();
                },
                Qt::DirectConnection);
            QObject::connect(
                &thread, &ThreadDataBaseCreate::signalUpdateText, &thread,
                [](const QString& text) {
                    if (!text.startsWith(QStringLiteral("Создание таблицы STREET.")))
                        return;
                    {
                        QSqlDatabase reader = QSqlDatabase::database(QStringLiteral("reader"), false);
                        QSqlQuery(reader).exec(QStringLiteral("ROLLBACK"));
                        reader.close();
                    }
                    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
                },
                Qt::DirectConnection);
        });
        QVERIFY(run.finished);
        QCOMPARE(run.created, QList<bool>({ false }));
        QVERIFY2(
            run.lines.contains(QStringLiteral("Проблема при вставке строк. Ошибка: 'database is locked'")),
            qPrintable(run.lines.join('\n')));
        QCOMPARE(run.report.kladr.rows, qint64(0));
        QCOMPARE(run.report.street.rows, qint64(3));
        QCOMPARE(run.lines.last(), FailedLine);
        QVERIFY(QDir(m_AppDir).isEmpty());
        const QStringList tables = Fixture::sqlValues(
            database(), QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"));
        QVERIFY(!tables.contains(QStringLiteral("KLADR")));
        QVERIFY(!tables.contains(QStringLiteral("info")));
        QVERIFY(tables.contains(QStringLiteral("STREET")));

        const RunResult again = runImport(m_AppDir, m_DbDir);
        QCOMPARE(again.created, QList<bool>({ true }));
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("KLADR")), ExpectedKladr);
    }

    // The generated classifier, imported and compared with rows computed here from the
    // generator's records and the dictionary's reference dump.
    void endToEndSample()
    {
        QFile socrbase(Fixture::socrbasePath());
        QVERIFY(socrbase.open(QIODevice::ReadOnly));
        KladrSample::Options options;
        options.scale = 0.003;
        options.seed = 42;
        QVERIFY(KladrSample::writeSample(m_DbDir, socrbase.readAll(), options, nullptr, nullptr));

        QHash<QString, QString> types;
        {
            QFile json(QStringLiteral(VELMORA_TESTDATA_DIR "/kladr/SOCRBASE.expected.json"));
            QVERIFY(json.open(QIODevice::ReadOnly));
            for (const QJsonValue& record :
                QJsonDocument::fromJson(json.readAll()).object().value("records").toArray()) {
                const QJsonArray values = record.toObject().value("values").toArray();
                types[values.at(1).toString()] = values.at(2).toString();
            }
            QCOMPARE(types.value(QStringLiteral("ул")), QStringLiteral("Улица"));
        }

        class Expect : public KladrSample::RecordSink {
        public:
            const QHash<QString, QString>* types = nullptr;
            Rows kladr, street, doma;
            void record(Table table, const QStringList& v, bool bDeleted) override
            {
                if (bDeleted)
                    return;
                const QString& code = table == Table::Doma ? v.at(3) : v.at(2);
                switch (table) {
                case Table::Kladr:
                    kladr << QStringList { v[0], v[0].toUpper(), types->value(v[1]), v[1], code.left(11),
                        code.left(2), code.mid(2, 3), code.mid(5, 3), code.mid(8, 3), code.right(2), v[3],
                        v[7] };
                    break;
                case Table::Street:
                    street << QStringList { v[0], v[0].toUpper(), types->value(v[1]), v[1], code.left(15),
                        code.left(11), code.right(2), v[3] };
                    break;
                case Table::Doma:
                    doma << QStringList { v[0], code.left(11), code.left(15), code.right(2), v[4] };
                    break;
                }
            }
        } expect;
        expect.types = &types;
        KladrSample::generate(options, expect);
        QVERIFY(expect.kladr.size() > 500);
        QVERIFY(expect.street.size() > 3000);
        QVERIFY(expect.doma.size() > 6000);

        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        QCOMPARE(run.created, QList<bool>({ true }));
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("KLADR")), expect.kladr);
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("STREET")), expect.street);
        QCOMPARE(Fixture::tableRows(database(), QStringLiteral("DOMA")), expect.doma);
    }

    // Another program's SQLite file in the database's place is refused untouched.
    void foreignDatabaseIsRefused_data()
    {
        QTest::addColumn<QStringList>("statements");
        QTest::newRow("KLADR of other columns")
            << QStringList { "CREATE TABLE KLADR (id INTEGER, title TEXT)",
                   "INSERT INTO KLADR VALUES (1, 'x')" };
        QTest::newRow("unrelated tables only")
            << QStringList { "CREATE TABLE invoices (id INTEGER, total REAL)",
                   "INSERT INTO invoices VALUES (1, 2.5)" };
        QTest::newRow("info of other columns") << QStringList { "CREATE TABLE info (key TEXT, value TEXT)" };
    }

    void foreignDatabaseIsRefused()
    {
        QFETCH(QStringList, statements);
        writeSmallClassifier();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("foreign"));
            db.setDatabaseName(database());
            QVERIFY(db.open());
            for (const QString& sql : statements)
                QVERIFY(QSqlQuery(db).exec(sql));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("foreign"));
        const QByteArray before = Fixture::readFile(database());
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Not a Velmora database")));
        const RunResult run = runImport(m_AppDir, m_DbDir);
        QVERIFY(run.finished);
        QCOMPARE(run.created, QList<bool>({ false }));
        QVERIFY2(!run.lines.filter(QStringLiteral("не является базой данных этой программы")).isEmpty(),
            qPrintable(run.lines.join('\n')));
        QCOMPARE(Fixture::readFile(database()), before);
        QVERIFY(QDir(m_AppDir).isEmpty());
    }

    // A run killed after the stamp and before the files: the next run writes the files that are
    // missing, with the version the database carries.
    void publicationCompletedAfterStamp()
    {
        writeSmallClassifier();
        const RunResult first = runImport(m_AppDir, m_DbDir);
        QVERIFY(first.report.published);
        const QString descriptor = m_AppDir + QStringLiteral("/update.info");
        QVERIFY(QFile::remove(descriptor));
        QVERIFY(QFile::remove(m_AppDir + QStringLiteral("/Velmora.ini")));
        const RunResult again = runImport(m_AppDir, m_DbDir);
        QCOMPARE(again.created, QList<bool>({ true }));
        QVERIFY(!again.report.published);
        QVERIFY(QFileInfo::exists(m_AppDir + QStringLiteral("/Velmora.ini")));
        QSettings info(descriptor, QSettings::IniFormat);
        QCOMPARE(info.value(QStringLiteral("DataBase/Version")).toString(),
            Fixture::sqlValues(database(), QStringLiteral("SELECT version FROM info")).value(0));
    }
};

QTEST_GUILESS_MAIN(TestThreadDataBaseCreate)
#include "tst_threaddatabasecreate.moc"
