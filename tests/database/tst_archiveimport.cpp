// SPDX-License-Identifier: GPL-3.0-or-later
// The import from the classifier as it is published: a 7-Zip or ZIP archive (made here from the
// generated classifier with 7zz) or a directory, the files in any letter case, at the top or one
// folder down. The result must equal the import from BASE/; every fault leaves the existing
// database byte for byte as it was and announces nothing.
#include "importfixture.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString FailedLine
    = QStringLiteral("Первоначальная настройка базы данных не завершена: база данных не готова к поиску.");
const QStringList TableNames = { "SOCRBASE.DBF", "KLADR.DBF", "STREET.DBF", "DOMA.DBF" };
const QString PostOfficeFile = QStringLiteral("PIndx26.dbf"); // as the sample writes it

struct Run {
    bool finished = false;
    QStringList lines;
    QList<bool> created;
    ThreadDataBaseCreate::RunReport report;
};

// onText, when given, is called from the import thread with each progress caption.
Run runImport(const QString& appDir, const QString& localDbDir, const QString& from,
    const std::function<void(ThreadDataBaseCreate&, const QString&)>& onText = {})
{
    RecordingHost host;
    ThreadDataBaseCreate thread;
    thread.setHost(&host);
    thread.setDirectories(appDir, localDbDir);
    thread.setSource(from);
    if (onText) {
        QObject::connect(
            &thread, &ThreadDataBaseCreate::signalUpdateText, &thread,
            [&thread, onText](const QString& text) { onText(thread, text); }, Qt::DirectConnection);
    }
    QSignalSpy created(&thread, &ThreadDataBaseCreate::signalDataBaseCreated);
    thread.start();
    Run run;
    run.finished = thread.wait(120000);
    run.lines = host.lines();
    for (const QList<QVariant>& args : created)
        run.created << args.at(0).toBool();
    run.report = thread.lastRunReport();
    return run;
}

QByteArray digest(const QString& path)
{
    return QCryptographicHash::hash(Fixture::readFile(path), QCryptographicHash::Sha256);
}

} // namespace

class TestArchiveImport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void sameAsFromBase_data();
    void sameAsFromBase();
    void faultLeavesDatabase_data();
    void faultLeavesDatabase();
    void cancelLeavesDatabase_data();
    void cancelLeavesDatabase();
    void postOffices_data();
    void postOffices();

private:
    // Copies the sample's files into a new folder: lower-case names when asked, one folder down
    // when sub is given, only the names in files. Returns the folder to archive.
    QString stage(const QString& name, bool bLowerCase, const QString& sub, const QStringList& files);
    QString makeArchive(const QString& name, const QString& folder, const QStringList& options);
    QString oldDatabase() const { return m_Work.filePath(QStringLiteral("db/KLADR.sqlite")); }

    QTemporaryDir m_Work;
    QString m_Sample; // holds BASE/ with the generated classifier
    QString m_SevenZip;
    QHash<QString, Fixture::Rows> m_Expected;
    QByteArray m_OldDigest;
};

void TestArchiveImport::initTestCase()
{
    m_SevenZip = QStandardPaths::findExecutable(QStringLiteral("7zz"));
    QVERIFY2(!m_SevenZip.isEmpty(), "7zz (Debian package 7zip) is needed to make the test archives");
    QVERIFY(m_Work.isValid());
    m_Sample = m_Work.filePath(QStringLiteral("sample"));
    QFile socrbase(Fixture::socrbasePath());
    QVERIFY(socrbase.open(QIODevice::ReadOnly));
    KladrSample::Options options;
    options.scale = 0.003;
    options.seed = 42;
    QString error;
    QVERIFY2(
        KladrSample::writeSample(m_Sample, socrbase.readAll(), options, nullptr, &error), qPrintable(error));

    // The reference: the usual import from BASE/.
    const Run reference = runImport(m_Sample, m_Sample, QString());
    QVERIFY(reference.finished);
    QVERIFY2(reference.report.success, qPrintable(reference.lines.join('\n')));
    for (const char* table : { "KLADR", "STREET", "DOMA", "POST_OFFICES" }) {
        m_Expected.insert(QLatin1String(table),
            Fixture::tableRows(m_Sample + QStringLiteral("/KLADR.sqlite"), QLatin1String(table)));
        QVERIFY(!m_Expected.value(QLatin1String(table)).isEmpty());
    }
}

// Every case starts from a working database of an earlier import (a few localities of another
// classifier) and an empty program directory.
void TestArchiveImport::init()
{
    QDir(m_Work.filePath(QStringLiteral("db"))).removeRecursively();
    QDir(m_Work.filePath(QStringLiteral("app"))).removeRecursively();
    QDir().mkpath(m_Work.filePath(QStringLiteral("db/BASE")));
    QDir().mkpath(m_Work.filePath(QStringLiteral("app")));
    const QString base = m_Work.filePath(QStringLiteral("db/BASE/"));
    QVERIFY(QFile::copy(Fixture::socrbasePath(), base + QStringLiteral("SOCRBASE.DBF")));
    QVERIFY(Fixture::writeTable(base + QStringLiteral("KLADR.DBF"), KladrSample::Table::Kladr,
        { { "Старый", "г", "7700000000000", "101000", "", "", "", "0" } }));
    QVERIFY(Fixture::writeTable(base + QStringLiteral("STREET.DBF"), KladrSample::Table::Street, {}));
    QVERIFY(Fixture::writeTable(base + QStringLiteral("DOMA.DBF"), KladrSample::Table::Doma, {}));
    const QString app = m_Work.filePath(QStringLiteral("app"));
    const Run old = runImport(app, m_Work.filePath(QStringLiteral("db")), QString());
    QVERIFY2(old.report.success, qPrintable(old.lines.join('\n')));
    QVERIFY(QDir(m_Work.filePath(QStringLiteral("db/BASE"))).removeRecursively());
    QVERIFY(QFile::remove(app + QStringLiteral("/Velmora.ini")));
    QVERIFY(QFile::remove(app + QStringLiteral("/update.info")));
    m_OldDigest = digest(oldDatabase());
}

QString TestArchiveImport::stage(
    const QString& name, bool bLowerCase, const QString& sub, const QStringList& files)
{
    const QString folder = m_Work.filePath(QStringLiteral("stage/") + name);
    QDir(folder).removeRecursively();
    const QString target = sub.isEmpty() ? folder : folder + QLatin1Char('/') + sub;
    QDir().mkpath(target);
    for (const QString& file : files) {
        const QString to = target + QLatin1Char('/') + (bLowerCase ? file.toLower() : file);
        if (!QFile::copy(m_Sample + QStringLiteral("/BASE/") + file, to))
            return QString();
    }
    return folder;
}

QString TestArchiveImport::makeArchive(const QString& name, const QString& folder, const QStringList& options)
{
    const QString archive = m_Work.filePath(QStringLiteral("archives/") + name);
    QDir().mkpath(QFileInfo(archive).absolutePath());
    QFile::remove(archive);
    QProcess zip;
    zip.setWorkingDirectory(folder);
    zip.start(m_SevenZip,
        QStringList { QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-y") } + options
            + QStringList { archive, QStringLiteral(".") });
    if (!zip.waitForFinished(120000) || zip.exitCode() != 0) {
        qWarning() << zip.readAllStandardError();
        return QString();
    }
    return archive;
}

void TestArchiveImport::sameAsFromBase_data()
{
    QTest::addColumn<QString>("kind"); // "7z", "zip" or "dir"
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("lowerCase");
    QTest::addColumn<QString>("sub");
    QTest::addColumn<int>("padding"); // bytes of an extra entry stored before the tables, 0: none

    QTest::newRow("7z LZMA2, capitals, top") << "7z" << QStringList { "-m0=LZMA2" } << false << "" << 0;
    QTest::newRow("7z PPMd, lower case, a folder down")
        << "7z" << QStringList { "-m0=PPMd" } << true << "base" << 0;
    // libarchive 3.6.2 loses its place in a solid archive after skipping an entry of a multiple
    // of 65,536 bytes ("Truncated 7-Zip file body"); the import reads such an entry through.
    QTest::newRow("7z, a 65,536-byte entry first")
        << "7z" << QStringList { "-m0=LZMA2" } << false << "BASE" << 65536;
    QTest::newRow("zip, lower case") << "zip" << QStringList { "-tzip" } << true << "" << 0;
    QTest::newRow("directory, lower case, a folder down") << "dir" << QStringList() << true << "Base" << 0;
}

void TestArchiveImport::sameAsFromBase()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, options);
    QFETCH(bool, lowerCase);
    QFETCH(QString, sub);
    QFETCH(int, padding);

    const QString folder = stage(QTest::currentDataTag(), lowerCase, sub, TableNames);
    QVERIFY(!folder.isEmpty());
    if (padding > 0) {
        // "ALTNAMES" sorts before every table, so the reader passes over it first.
        QFile extra(
            folder + (sub.isEmpty() ? QString() : QLatin1Char('/') + sub) + QStringLiteral("/ALTNAMES.DBF"));
        QVERIFY(extra.open(QIODevice::WriteOnly));
        QByteArray bytes(padding, 'x');
        QCOMPARE(extra.write(bytes), qint64(padding));
    }
    const QString from = kind == QLatin1String("dir")
        ? folder
        : makeArchive(QTest::currentDataTag() + QStringLiteral(".") + kind, folder, options);
    QVERIFY(!from.isEmpty());

    const QString db = m_Work.filePath(QStringLiteral("db"));
    const QString app = m_Work.filePath(QStringLiteral("app"));
    const Run run = runImport(app, db, from);
    QVERIFY(run.finished);
    QVERIFY2(run.report.success, qPrintable(run.lines.join('\n')));
    QVERIFY(run.report.installed);
    QCOMPARE(run.created, QList<bool>({ true }));
    for (const char* table : { "KLADR", "STREET", "DOMA" })
        QCOMPARE(
            Fixture::tableRows(oldDatabase(), QLatin1String(table)), m_Expected.value(QLatin1String(table)));
    // A new classifier is a new database: stamped, and offered where nothing was offered yet.
    QCOMPARE(
        Fixture::sqlValues(oldDatabase(), QStringLiteral("SELECT count(*) FROM info")), QStringList { "1" });
    QVERIFY(QFileInfo::exists(app + QStringLiteral("/update.info")));
    QCOMPARE(QDir(db).entryList(QDir::Files), QStringList { "KLADR.sqlite" });
}

void TestArchiveImport::faultLeavesDatabase_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("entry"); // named in the failure line, empty: the archive alone

    QTest::newRow("damaged in the middle") << "damaged"
                                           << "";
    QTest::newRow("archive cut short") << "cut archive"
                                       << "";
    QTest::newRow("entry cut short") << "cut table"
                                     << "STREET.DBF";
    QTest::newRow("table missing") << "missing"
                                   << "STREET.DBF";
    QTest::newRow("dictionary missing") << "no dictionary"
                                        << "SOCRBASE.DBF";
    QTest::newRow("encrypted") << "encrypted"
                               << "";
    QTest::newRow("encrypted names") << "encrypted names"
                                     << "";
    QTest::newRow("not an archive") << "not an archive"
                                    << "";
    QTest::newRow("post offices cut short") << "cut post offices" << PostOfficeFile;
}

void TestArchiveImport::faultLeavesDatabase()
{
    QFETCH(QString, fault);
    QFETCH(QString, entry);

    QStringList files = TableNames;
    if (fault == QLatin1String("cut post offices"))
        files << PostOfficeFile;
    if (fault == QLatin1String("missing"))
        files.removeOne(QStringLiteral("STREET.DBF"));
    if (fault == QLatin1String("no dictionary"))
        files.removeOne(QStringLiteral("SOCRBASE.DBF"));
    const QString folder = stage(fault, false, QString(), files);
    QVERIFY(!folder.isEmpty());
    if (fault.startsWith(QLatin1String("cut ")) && !entry.isEmpty()) {
        QFile cut(folder + QLatin1Char('/') + entry);
        QVERIFY(cut.open(QIODevice::ReadWrite));
        QVERIFY(cut.resize(cut.size() / 2));
    }
    QStringList options { QStringLiteral("-m0=LZMA2") };
    if (fault.startsWith(QLatin1String("encrypted")))
        options << QStringLiteral("-psecret");
    if (fault == QLatin1String("encrypted names"))
        options << QStringLiteral("-mhe=on");
    const QString archive = makeArchive(fault + QStringLiteral(".7z"), folder, options);
    QVERIFY(!archive.isEmpty());
    {
        QFile file(archive);
        QVERIFY(file.open(QIODevice::ReadWrite));
        if (fault == QLatin1String("damaged")) {
            QVERIFY(file.seek(file.size() / 2));
            QCOMPARE(file.write(QByteArray(64, '\x5A')), qint64(64));
        } else if (fault == QLatin1String("cut archive")) {
            QVERIFY(file.resize(file.size() * 2 / 3));
        } else if (fault == QLatin1String("not an archive")) {
            QVERIFY(file.resize(0));
            file.write("KLADR.DBF and friends, in a text file\n");
        }
    }

    const QString db = m_Work.filePath(QStringLiteral("db"));
    const QString app = m_Work.filePath(QStringLiteral("app"));
    const Run run = runImport(app, db, archive);
    QVERIFY(run.finished);
    QVERIFY(!run.report.success);
    QCOMPARE(run.created, QList<bool>({ false }));
    QCOMPARE(run.lines.last(), FailedLine);
    const QStringList named = run.lines.filter(archive);
    QVERIFY2(!named.isEmpty(), qPrintable(run.lines.join('\n')));
    if (!entry.isEmpty())
        QVERIFY2(!named.filter(entry).isEmpty(), qPrintable(run.lines.join('\n')));
    // Nothing partial, nothing announced.
    QCOMPARE(digest(oldDatabase()), m_OldDigest);
    QCOMPARE(QDir(db).entryList(QDir::Files), QStringList { "KLADR.sqlite" });
    QVERIFY(QDir(app).isEmpty());
}

void TestArchiveImport::cancelLeavesDatabase_data()
{
    QTest::addColumn<QString>("caption"); // cancelled when this progress caption shows
    QTest::newRow("dictionary") << "Обработка таблицы SOCRBASE. Шаг 1 из 11. ";
    QTest::newRow("KLADR") << "Создание таблицы KLADR. Шаг 2 из 11. ";
    QTest::newRow("DOMA") << "Создание таблицы DOMA. Шаг 4 из 11. ";
    QTest::newRow("indexes") << "Создание индексов... Шаг 5 из 11. ";
    QTest::newRow("last index") << "Создание индексов... Шаг 11 из 11. ";
}

void TestArchiveImport::cancelLeavesDatabase()
{
    QFETCH(QString, caption);
    const QString folder = stage(QStringLiteral("cancel"), false, QString(), TableNames);
    const QString archive = makeArchive(QStringLiteral("cancel.7z"), folder, { QStringLiteral("-m0=LZMA2") });
    QVERIFY(!archive.isEmpty());
    const QString db = m_Work.filePath(QStringLiteral("db"));
    const QString app = m_Work.filePath(QStringLiteral("app"));
    bool cancelled = false;
    const Run run = runImport(app, db, archive, [&](ThreadDataBaseCreate& thread, const QString& text) {
        if (text == caption) {
            cancelled = true;
            thread.cancel();
        }
    });
    QVERIFY(run.finished);
    QVERIFY(cancelled);
    QVERIFY(run.report.cancelled);
    QCOMPARE(run.created, QList<bool>({ false }));
    QCOMPARE(digest(oldDatabase()), m_OldDigest);
    QCOMPARE(QDir(db).entryList(QDir::Files), QStringList { "KLADR.sqlite" });
    QVERIFY(QDir(app).isEmpty());
    QCOMPARE(Fixture::sqlValues(oldDatabase(), QStringLiteral("SELECT name FROM KLADR")),
        QStringList { "Старый" });
}

// The post offices come from the source like the classifier's files (its latest edition), or,
// when it has none, from BASE/, where an administrator keeps the post's file; else no table.
void TestArchiveImport::postOffices_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("file"); // the sample's reference in the source, under this name
    QTest::addColumn<QString>("inBase"); // the sample's reference in BASE/, under this name
    QTest::addColumn<QString>("other"); // another edition (one office) in "source/…" or "BASE/…"

    QTest::newRow("7z, preferred to BASE/") << "7z" << PostOfficeFile << ""
                                            << "BASE/PIndx30.dbf";
    QTest::newRow("zip, a folder down, other case") << "zip"
                                                    << "base/pindx26.DBF"
                                                    << ""
                                                    << "";
    QTest::newRow("7z, the latest edition") << "7z"
                                            << "base/PINDX26.DBF"
                                            << ""
                                            << "source/PIndx9.dbf";
    QTest::newRow("directory, a folder down") << "dir"
                                              << "base/PIndx26.dbf"
                                              << ""
                                              << "";
    QTest::newRow("7z without, BASE/ with") << "7z"
                                            << ""
                                            << "pindx26.DBF"
                                            << "";
    QTest::newRow("zip without, BASE/ without") << "zip"
                                                << ""
                                                << ""
                                                << "";
}

void TestArchiveImport::postOffices()
{
    QFETCH(QString, kind);
    QFETCH(QString, file);
    QFETCH(QString, inBase);
    QFETCH(QString, other);
    const QString folder = stage(QTest::currentDataTag(), false, QString(), TableNames);
    const QString db = m_Work.filePath(QStringLiteral("db"));
    const QString reference = m_Sample + QStringLiteral("/BASE/") + PostOfficeFile;
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/base")) && QDir().mkpath(db + QStringLiteral("/BASE")));
    QVERIFY(file.isEmpty() || QFile::copy(reference, folder + QLatin1Char('/') + file));
    QVERIFY(inBase.isEmpty() || QFile::copy(reference, db + QStringLiteral("/BASE/") + inBase));
    if (!other.isEmpty()) {
        DbfWriter writer;
        QVERIFY(writer.open(
            other.startsWith(QLatin1String("BASE/")) ? db + QLatin1Char('/') + other : folder + other.mid(6),
            KladrSample::postOfficeFields()));
        writer.append({ QStringLiteral("100000"), QStringLiteral("Другое издание") });
        QVERIFY(writer.close());
    }
    const QString from = kind == QLatin1String("dir")
        ? folder
        : makeArchive(
            QTest::currentDataTag() + QLatin1Char('.') + kind, folder, { QStringLiteral("-t") + kind });

    const Run run = runImport(m_Work.filePath(QStringLiteral("app")), db, from);
    QVERIFY2(run.finished && run.report.success && run.report.installed, qPrintable(run.lines.join('\n')));
    if (file.isEmpty() && inBase.isEmpty()) {
        QVERIFY(Fixture::sqlValues(
            oldDatabase(), QStringLiteral("SELECT name FROM sqlite_master WHERE name LIKE 'POST%'"))
                    .isEmpty());
        QCOMPARE(run.lines.filter(QStringLiteral("PIndx"), Qt::CaseInsensitive), QStringList());
        return;
    }
    QCOMPARE(
        Fixture::tableRows(oldDatabase(), QStringLiteral("POST_OFFICES")), m_Expected.value("POST_OFFICES"));
    const QString name = QFileInfo(file).fileName();
    const QString opened = file.isEmpty() ? db + QStringLiteral("/BASE/") + inBase
        : kind == QLatin1String("dir")    ? folder + QLatin1Char('/') + file
                                          : from + QLatin1Char(':') + name;
    QVERIFY2(run.lines.contains(QStringLiteral("Попытка открытия файла '") + opened + QLatin1Char('\'')),
        qPrintable(run.lines.join('\n')));
    // Reading BASE/ instead is said, naming both places.
    const QStringList fallback = run.lines.filter(QStringLiteral("нет справочника почтовых отделений"));
    QCOMPARE(fallback.size(), file.isEmpty() ? 1 : 0);
    QVERIFY(fallback.isEmpty() || (fallback.first().contains(from) && fallback.first().contains(opened)));
}

QTEST_GUILESS_MAIN(TestArchiveImport)
#include "tst_archiveimport.moc"
