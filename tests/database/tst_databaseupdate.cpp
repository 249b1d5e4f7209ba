// SPDX-License-Identifier: GPL-3.0-or-later
#include "completedatabase.h"
#include "databaseupdate.h"
#include "recordinghost.h"
#include "schema.h"
#include "workerhost.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <memory>

namespace {

const QString ConnectionName = QStringLiteral("tst_databaseupdate");
const QString LocalVersion = QStringLiteral("Mon Nov 2 10:00:00 2026");
const QString OfferedVersion = QStringLiteral("Tue Dec 8 17:20:17 2026");

using Progress = RecordingHost::Progress;

// Records the size of every write, so the chunking is seen as the copy does it. Reads give
// endless data. Either direction fails from call number failAt (1-based) on.
class ChunkRecorder : public QIODevice {
public:
    QList<qint64> chunks;
    QByteArray data;
    int failAt = 0;

protected:
    qint64 readData(char* bytes, qint64 len) override
    {
        if (++m_calls == failAt || (failAt > 0 && m_calls > failAt))
            return -1;
        memset(bytes, 'r', static_cast<size_t>(len));
        return len;
    }
    qint64 writeData(const char* bytes, qint64 len) override
    {
        if (++m_calls == failAt || (failAt > 0 && m_calls > failAt))
            return -1;
        chunks << len;
        data.append(bytes, static_cast<int>(len));
        return len;
    }

private:
    int m_calls = 0;
};

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray patternBytes(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = static_cast<quint32>(seed) * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

struct ZipEntry {
    QString name;
    QByteArray data;
};

// method 0 stores the entry, Z_DEFLATED compresses it.
bool makeZip(const QString& path, const QList<ZipEntry>& entries, int method = Z_DEFLATED)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const ZipEntry& entry : entries) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(entry.name), nullptr, 0, method,
                method == 0 ? 0 : Z_DEFAULT_COMPRESSION))
            return false;
        if (file.write(entry.data) != entry.data.size())
            return false;
        file.close();
        if (file.getZipError() != UNZ_OK)
            return false;
    }
    zip.close();
    return zip.getZipError() == UNZ_OK;
}

quint16 le16(const QByteArray& bytes, int offset)
{
    return static_cast<quint16>(
        static_cast<quint8>(bytes[offset]) | static_cast<quint8>(bytes[offset + 1]) << 8);
}

// Offset of the first entry's data: local header (30 bytes), name and extra field.
int firstEntryDataOffset(const QByteArray& zip)
{
    return 30 + le16(zip, 26) + le16(zip, 28);
}

QStringList fileNames(const QString& dir)
{
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

// app/Velmora.ini points at update/ (or wherever updatePath says); the local database lives in
// local/. The connection is the one the check opens, closes and reopens.
class Fixture {
public:
    Fixture()
    {
        appDir = tmp.path() + "/app";
        localDir = tmp.path() + "/local";
        updateDir = tmp.path() + "/update";
        QDir().mkpath(appDir);
        QDir().mkpath(updateDir);
        setLocalDir(localDir);
    }
    ~Fixture()
    {
        QSqlDatabase::database(ConnectionName, false).close();
        QSqlDatabase::removeDatabase(ConnectionName);
    }

    void setLocalDir(const QString& dir)
    {
        localDir = dir;
        QSqlDatabase::removeDatabase(ConnectionName);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), ConnectionName);
        db.setDatabaseName(localFile());
    }

    bool writeSettings(const QString& updatePath)
    {
        descriptorPath = updatePath + "/update.info";
        return writeAll(appDir + "/Velmora.ini", "[Updater]\nUpdatePath=" + updatePath.toUtf8() + "\n");
    }
    bool writeDescriptor(const QString& dir, const QByteArray& body)
    {
        return writeAll(dir + "/update.info", "[ThisFile]\nCodePage=UTF-8\n[DataBase]\n" + body);
    }
    // Velmora.ini, update.info with the offered version and the given file name and type.
    bool offer(const QString& fileName, const QString& fileType, const QString& updatePath = QString())
    {
        const QString path = updatePath.isNull() ? updateDir : updatePath;
        return writeSettings(path)
            && writeDescriptor(path,
                "Version=" + OfferedVersion.toUtf8() + "\nFileName=" + fileName.toUtf8()
                    + "\nFileType=" + fileType.toUtf8() + "\n");
    }

    QString localFile() const { return localDir + "/KLADR.sqlite"; }
    QString zipCopy() const { return localFile() + ".zip"; }
    QSqlDatabase db() const { return QSqlDatabase::database(ConnectionName, false); }

    QString versionInLocalDatabase() const
    {
        QSqlQuery query(db());
        if (!query.exec(QLatin1String(Schema::SelectVersion)) || !query.first())
            return QString();
        return query.value(0).toString();
    }

    std::unique_ptr<DatabaseUpdate> update(RecordingHost& host) const
    {
        return std::make_unique<DatabaseUpdate>(&host, appDir, localDir, ConnectionName);
    }

    QTemporaryDir tmp;
    QString appDir;
    QString localDir;
    QString updateDir;
    QString descriptorPath; // as the check names it in its messages
};

QString expand(QString line, const QString& f, const Fixture& fixture)
{
    return line.replace("%D", fixture.descriptorPath)
        .replace("%F", f)
        .replace("%C", fixture.zipCopy())
        .replace("%T", fixture.localFile())
        .replace("%L", fixture.localDir);
}

const QString Checking = QStringLiteral("Проверяем актуальность базы данных...");
const QString Current = QStringLiteral("База данных актуальна. Обновление не требуется.");
const QString OtherVersion
    = QStringLiteral("На сервере обновлений найдена другая версия базы данных. Приступаем к обновлению.");
const QString NoInfo
    = QStringLiteral("Локальная база данных не найдена или некорректна. Необходимо обновление.");
const QString Forced
    = QStringLiteral("Не могу открыть локальную базу данных. Попытка принудительного обновления...");
const QString Unpacking = QStringLiteral("Загружен ZIP-архив базы данных. Необходима распаковка.");
const QString Updated = QStringLiteral("База данных успешно обновлена.");
const QString CannotReadOffered = QStringLiteral("Не могу прочесть файл обновленной базы данных '%F'");
const QString CannotWrite = QStringLiteral("Не могу открыть файл локальной базы данных для записи '%1'");
const QString NoDescriptor = QStringLiteral(
    "Не могу прочесть файл обновлений '%D'. Обновление невозможно. Обратитесь к своему администратору.");
const QString DirMissing = QStringLiteral("Каталог хранения локальной базы данных не существует: '%L'");
const QString DirCreated = QStringLiteral("Каталог хранения локальной базы данных: '%L' успешно создан.");
const QString DirFailed = QStringLiteral("Не удалось создать каталог хранения локальной базы данных: '%L'");
const QString Refused
    = QStringLiteral("Файл обновления '%1' не установлен: %2. Локальная база данных не изменена.");
const QString Skipped = QStringLiteral("Файл '%1' совпадает с файлом '%2' в каталоге локальной базы данных. "
                                       "Обновление пропущено, локальная база данных не изменена.");

QString codeLine(const char* prefix, int code)
{
    return QString::fromUtf8(prefix) + QString::number(code);
}

} // namespace

class TestDatabaseUpdate : public QObject {
    Q_OBJECT

private slots:
    void versionsEqualTouchNothing();
    void versionQueryFailureStopsSilently();
    void checkInstalls_data();
    void checkInstalls();
    void chunkProgress_data();
    void chunkProgress();
    void chunkSizes_data();
    void chunkSizes();
    void copyStopsOnDeviceError_data();
    void copyStopsOnDeviceError();
    void zipInstallKeepsArchiveCopy();
    void badInputKeepsLocalDatabase_data();
    void badInputKeepsLocalDatabase();
    void offeredFileEndingEarly();
    void lowerCaseZipCopiedAsPlainFile();
    void localDirectoryNotCreatable();
    void localDirectoryNotWritable();
    void offerRefused_data();
    void offerRefused();
    void installWaitsForTheImport();
    void staleJournalRemovedBeforeTheRename();
    void updatePathsJoined_data();
    void updatePathsJoined();
    void calmLineWithoutUpdateLocation();
};

void TestDatabaseUpdate::versionsEqualTouchNothing()
{
    Fixture fixture;
    QVERIFY(QDir().mkpath(fixture.localDir));
    const QByteArray local = makeDatabase(fixture.localFile(), OfferedVersion, 10);
    makeDatabase(fixture.updateDir + "/KLADR.sqlite", OfferedVersion, 20);
    QVERIFY(fixture.offer("/KLADR.sqlite", "RAW"));

    RecordingHost host;
    fixture.update(host)->checkDatabaseVersion();

    QCOMPARE(host.lines(), QStringList({ Checking, Current }));
    QCOMPARE(readAll(fixture.localFile()), local);
    QCOMPARE(fileNames(fixture.localDir), QStringList({ "KLADR.sqlite" }));
    QVERIFY(host.progress().isEmpty());
    QVERIFY(host.visible().isEmpty());
}

// An info table the version cannot be read from: no message, no install.
void TestDatabaseUpdate::versionQueryFailureStopsSilently()
{
    Fixture fixture;
    QVERIFY(QDir().mkpath(fixture.localDir));
    {
        QSqlDatabase db = fixture.db();
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec("CREATE TABLE info (release VARCHAR(50));"));
        db.close();
    }
    const QByteArray local = readAll(fixture.localFile());
    makeDatabase(fixture.updateDir + "/KLADR.sqlite", OfferedVersion, 5);
    QVERIFY(fixture.offer("/KLADR.sqlite", "RAW"));

    RecordingHost host;
    fixture.update(host)->checkDatabaseVersion();

    QCOMPARE(host.lines(), QStringList({ Checking }));
    QCOMPARE(readAll(fixture.localFile()), local);
}

void TestDatabaseUpdate::checkInstalls_data()
{
    QTest::addColumn<QString>("localState");
    QTest::addColumn<bool>("bZip");
    QTest::addColumn<QStringList>("expected");

    for (const bool bZip : { false, true }) {
        const char* type = bZip ? ", ZIP" : ", plain";
        const QStringList done = bZip ? QStringList({ Unpacking, Updated }) : QStringList({ Updated });
        QTest::newRow(QByteArray("other version") + type)
            << "other version" << bZip << QStringList({ Checking, OtherVersion }) + done;
        QTest::newRow(QByteArray("no info table") + type)
            << "no info table" << bZip << QStringList({ Checking, NoInfo }) + done;
        // Opening the connection creates an empty database, which has no info table.
        QTest::newRow(QByteArray("no local file") + type)
            << "no local file" << bZip << QStringList({ Checking, NoInfo }) + done;
        QTest::newRow(QByteArray("not a database") + type)
            << "not a database" << bZip << QStringList({ Checking, NoInfo }) + done;
        // A damaged local database is what the update is for: a good one replaces it.
        QTest::newRow(QByteArray("cut in half") + type)
            << "cut in half" << bZip << QStringList({ Checking, NoInfo }) + done;
        QTest::newRow(QByteArray("no local directory") + type)
            << "no local directory" << bZip
            << QStringList({ Checking, Forced, DirMissing, DirCreated }) + done;
    }
}

void TestDatabaseUpdate::checkInstalls()
{
    QFETCH(QString, localState);
    QFETCH(bool, bZip);
    QFETCH(QStringList, expected);

    Fixture fixture;
    if (localState != "no local directory")
        QVERIFY(QDir().mkpath(fixture.localDir));
    if (localState == "other version")
        makeDatabase(fixture.localFile(), LocalVersion, 10);
    else if (localState == "no info table")
        makeDatabase(fixture.localFile(), QString(), 10);
    else if (localState == "not a database")
        QVERIFY(writeAll(fixture.localFile(), QByteArray("this is not an SQLite file")));
    else if (localState == "cut in half")
        QVERIFY(QFile::resize(
            fixture.localFile(), makeDatabase(fixture.localFile(), LocalVersion, 2000).size() / 2));

    const QByteArray offeredDatabase
        = makeDatabase(fixture.tmp.path() + "/offered.sqlite", OfferedVersion, 50);
    QVERIFY(!offeredDatabase.isEmpty());
    QString offeredFile;
    if (bZip) {
        offeredFile = fixture.updateDir + "/KLADR.sqlite.zip";
        QVERIFY(makeZip(offeredFile, { { "KLADR.sqlite", offeredDatabase } }));
        QVERIFY(fixture.offer("/KLADR.sqlite.zip", "ZIP"));
    } else {
        offeredFile = fixture.updateDir + "/KLADR.sqlite";
        QVERIFY(writeAll(offeredFile, offeredDatabase));
        QVERIFY(fixture.offer("/KLADR.sqlite", "RAW"));
    }

    RecordingHost host;
    fixture.update(host)->checkDatabaseVersion();

    for (QString& line : expected)
        line = expand(line, offeredFile, fixture);
    QCOMPARE(host.lines(), expected);
    QCOMPARE(readAll(fixture.localFile()), offeredDatabase);
    // The connection was reopened on the new file.
    QVERIFY(fixture.db().isOpen());
    QCOMPARE(fixture.versionInLocalDatabase(), OfferedVersion);
    if (bZip) {
        QCOMPARE(fileNames(fixture.localDir), QStringList({ "KLADR.sqlite", "KLADR.sqlite.zip" }));
        QCOMPARE(readAll(fixture.zipCopy()), readAll(offeredFile));
    } else {
        QCOMPARE(fileNames(fixture.localDir), QStringList({ "KLADR.sqlite" }));
    }
    QCOMPARE(host.visible(), QList<bool>({ true, false }));
}

void TestDatabaseUpdate::chunkProgress_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QList<int>>("values");

    QTest::newRow("empty") << 0 << 0 << QList<int>({ 0 });
    QTest::newRow("one byte short of a chunk") << 99999 << 0 << QList<int>({ 0 });
    QTest::newRow("exactly one chunk") << 100000 << 1 << QList<int>({ 0, 1 });
    QTest::newRow("two and a half chunks") << 250000 << 2 << QList<int>({ 0, 1, 2 });
    QTest::newRow("exactly two chunks") << 200000 << 2 << QList<int>({ 0, 1, 2 });
    QTest::newRow("one byte over two chunks") << 200001 << 2 << QList<int>({ 0, 1, 2 });
}

void TestDatabaseUpdate::chunkProgress()
{
    QFETCH(int, size);
    QFETCH(int, maximum);
    QFETCH(QList<int>, values);

    Fixture fixture;
    QVERIFY(QDir().mkpath(fixture.localDir));
    const QString offered = fixture.updateDir + "/KLADR.sqlite";
    const QByteArray bytes = patternBytes(size, size);
    QVERIFY(writeAll(offered, bytes));

    RecordingHost host;
    // Bytes that are not a database are copied in full, then refused.
    QCOMPARE(fixture.update(host)->install(offered, false, OfferedVersion), DatabaseUpdate::Outcome::Refused);

    QList<Progress> expected { Progress(0, maximum) };
    for (int value : values)
        expected << Progress(value, -1);
    QCOMPARE(host.progress(), expected);
    QCOMPARE(host.texts(),
        QStringList({ QStringLiteral("Загрузка обновлений: "), QStringLiteral("Проверка базы данных: ") }));
    QVERIFY(!QFile::exists(fixture.localFile()));
    QCOMPARE(fileNames(fixture.localDir), QStringList());
}

void TestDatabaseUpdate::chunkSizes_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<qint64>>("chunks");

    QTest::newRow("two and a half chunks") << 250000 << QList<qint64>({ 100000, 100000, 50000 });
    QTest::newRow("exactly two chunks ends with an empty one")
        << 200000 << QList<qint64>({ 100000, 100000, 0 });
    QTest::newRow("empty source") << 0 << QList<qint64>({ 0 });
}

void TestDatabaseUpdate::chunkSizes()
{
    QFETCH(int, size);
    QFETCH(QList<qint64>, chunks);

    QBuffer source;
    source.setData(patternBytes(size, 7));
    QVERIFY(source.open(QIODevice::ReadOnly));
    ChunkRecorder destination;
    QVERIFY(destination.open(QIODevice::WriteOnly | QIODevice::Unbuffered));

    RecordingHost host;
    DatabaseUpdate update(&host, QString(), QString(), ConnectionName);
    QCOMPARE(update.copyInChunks(source, destination), qint64(size));
    QCOMPARE(destination.chunks, chunks);
    QCOMPARE(destination.data, source.data());
}

void TestDatabaseUpdate::copyStopsOnDeviceError_data()
{
    QTest::addColumn<bool>("failingSource");
    QTest::newRow("read fails") << true;
    QTest::newRow("write fails") << false;
}

// The third read or write fails: two full chunks went through, the third is not reported.
void TestDatabaseUpdate::copyStopsOnDeviceError()
{
    QFETCH(bool, failingSource);

    QBuffer buffer;
    buffer.setData(patternBytes(500000, 9));
    ChunkRecorder failing;
    failing.failAt = 3;
    QVERIFY(buffer.open(failingSource ? QIODevice::WriteOnly : QIODevice::ReadOnly));
    QVERIFY(
        failing.open((failingSource ? QIODevice::ReadOnly : QIODevice::WriteOnly) | QIODevice::Unbuffered));

    RecordingHost host;
    DatabaseUpdate update(&host, QString(), QString(), ConnectionName);
    const qint64 copied
        = failingSource ? update.copyInChunks(failing, buffer) : update.copyInChunks(buffer, failing);
    QCOMPARE(copied, qint64(-1));
    QCOMPARE(host.progress(), QList<Progress>({ Progress(0, -1), Progress(1, -1) }));
}

// The archive is copied from the share once and unpacked from the local copy.
void TestDatabaseUpdate::zipInstallKeepsArchiveCopy()
{
    Fixture fixture;
    QVERIFY(QDir().mkpath(fixture.localDir));
    makeDatabase(fixture.localFile(), LocalVersion, 5);
    const QByteArray entry = makeDatabase(fixture.tmp.path() + "/offered.sqlite", OfferedVersion, 3000);
    QVERIFY(entry.size() > 200000);
    const QString offered = fixture.updateDir + "/KLADR.sqlite.zip";
    QVERIFY(makeZip(offered, { { "KLADR.sqlite", entry } }, 0));
    const QByteArray archive = readAll(offered);

    RecordingHost host;
    QCOMPARE(
        fixture.update(host)->install(offered, true, OfferedVersion), DatabaseUpdate::Outcome::Installed);

    QCOMPARE(host.lines(), QStringList({ Unpacking }));
    QCOMPARE(fileNames(fixture.localDir), QStringList({ "KLADR.sqlite", "KLADR.sqlite.zip" }));
    QCOMPARE(readAll(fixture.zipCopy()), archive);
    QCOMPARE(readAll(fixture.localFile()), entry);
    QCOMPARE(readAll(offered), archive);

    QList<Progress> expected { Progress(0, archive.size() / 100000) };
    for (int i = 0; i <= archive.size() / 100000; ++i)
        expected << Progress(i, -1);
    expected << Progress(0, 1) << Progress(0, entry.size() / 100000);
    for (int i = 0; i <= entry.size() / 100000; ++i)
        expected << Progress(i, -1);
    QCOMPARE(host.progress(), expected);
    QCOMPARE(host.texts(),
        QStringList({ QStringLiteral("Загрузка обновлений: "), QStringLiteral("Распаковка архива: "),
            QStringLiteral("Проверка базы данных: ") }));
    QCOMPARE(host.visible(), QList<bool>({ true, false }));
}

void TestDatabaseUpdate::badInputKeepsLocalDatabase_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QStringList>("expected"); // after the first line of the check
    QTest::addColumn<bool>("zipCopyLeft"); // the copy of the offered archive stays beside the database
    QTest::addColumn<bool>("connectionOpen");

    const QString skipT = Skipped.arg("%F", "%T");
    QTest::newRow("descriptor missing")
        << "descriptor missing" << QStringList({ NoDescriptor }) << false << false;
    QTest::newRow("descriptor is a directory")
        << "descriptor is a directory" << QStringList({ NoDescriptor }) << false << false;
    QTest::newRow("descriptor without Version")
        << "descriptor without Version" << QStringList({ "Обновления базы не найдены." }) << false << false;
    QTest::newRow("offered file missing")
        << "offered file missing" << QStringList({ OtherVersion, CannotReadOffered }) << false << true;
    QTest::newRow("offered file is a directory")
        << "offered file is a directory" << QStringList({ OtherVersion, CannotReadOffered }) << false << true;
    // Reading /proc/self/mem at offset 0 fails with EIO: a file that opens but cannot be read.
    QTest::newRow("offered file fails to read")
        << "offered file fails to read" << QStringList({ OtherVersion, CannotReadOffered }) << false << true;
    QTest::newRow("ZIP that is not a ZIP")
        << "ZIP that is not a ZIP"
        << QStringList({ OtherVersion, Unpacking,
               codeLine("Проблема открытия архива. Код ошибки: ", UNZ_OPENERROR), CannotReadOffered })
        << true << true;
    QTest::newRow("ZIP cut in half") << "ZIP cut in half"
                                     << QStringList({ OtherVersion, Unpacking,
                                            codeLine("Проблема открытия архива. Код ошибки: ", UNZ_OPENERROR),
                                            CannotReadOffered })
                                     << true << true;
    // minizip refuses an archive without entries already when opening it.
    QTest::newRow("ZIP without entries")
        << "ZIP without entries"
        << QStringList({ OtherVersion, Unpacking,
               codeLine("Проблема открытия архива. Код ошибки: ", UNZ_OPENERROR), CannotReadOffered })
        << true << true;
    QTest::newRow("ZIP with a broken central directory")
        << "ZIP with a broken central directory"
        << QStringList({ OtherVersion, Unpacking,
               codeLine("Не могу найти первый файл в архиве. Код ошибки: ", UNZ_BADZIPFILE),
               CannotReadOffered })
        << true << true;
    QTest::newRow("ZIP entry with a broken local header")
        << "ZIP entry with a broken local header"
        << QStringList({ OtherVersion, Unpacking,
               codeLine("Не могу открыть файл в архиве. Код ошибки: ", UNZ_BADZIPFILE), CannotReadOffered })
        << true << true;
    QTest::newRow("ZIP entry failing its CRC")
        << "ZIP entry failing its CRC"
        << QStringList({ OtherVersion, Unpacking,
               codeLine("Ошибка чтения файла в архиве. Код ошибки: ", UNZ_CRCERROR), CannotReadOffered })
        << true << true;
    QTest::newRow("ZIP entry with a corrupt deflate stream")
        << "ZIP entry with a corrupt deflate stream"
        << QStringList({ OtherVersion, Unpacking,
               codeLine("Ошибка чтения файла в архиве. Код ошибки: ", Z_DATA_ERROR), CannotReadOffered })
        << true << true;
    QTest::newRow("offered file is the local database")
        << "offered file is the local database" << QStringList({ OtherVersion, skipT }) << false << true;
    QTest::newRow("offered file links to the local database")
        << "offered file links to the local database" << QStringList({ OtherVersion, skipT }) << false
        << true;
    QTest::newRow("offered archive is the archive copy")
        << "offered archive is the archive copy" << QStringList({ OtherVersion, Skipped.arg("%F", "%C") })
        << true << true;
    // Written through, the link would carry the archive into the database file.
    QTest::newRow("archive copy links to the local database")
        << "archive copy links to the local database"
        << QStringList({ OtherVersion, Skipped.arg("%C", "%T") }) << false << true;
    // The connection stays closed when the copy target cannot be opened.
    QTest::newRow("archive copy target is a directory")
        << "archive copy target is a directory"
        << QStringList({ OtherVersion, CannotWrite.arg("%C"), CannotReadOffered }) << false << false;
}

void TestDatabaseUpdate::badInputKeepsLocalDatabase()
{
    QFETCH(QString, situation);
    QFETCH(QStringList, expected);
    QFETCH(bool, zipCopyLeft);
    QFETCH(bool, connectionOpen);

    Fixture fixture;
    QVERIFY(QDir().mkpath(fixture.localDir));
    makeDatabase(fixture.localFile(), LocalVersion, 30);

    const QByteArray offeredDatabase
        = makeDatabase(fixture.tmp.path() + "/offered.sqlite", OfferedVersion, 40);
    QString offered = fixture.updateDir + "/KLADR.sqlite";
    QVERIFY(makeZip(fixture.tmp.path() + "/good.zip", { { "KLADR.sqlite", offeredDatabase } }));
    const QByteArray goodZip = readAll(fixture.tmp.path() + "/good.zip");

    const auto offerZip = [&](const QByteArray& bytes) {
        offered = fixture.updateDir + "/KLADR.sqlite.zip";
        return writeAll(offered, bytes) && fixture.offer("/KLADR.sqlite.zip", "ZIP");
    };

    if (situation == "descriptor missing") {
        QVERIFY(fixture.writeSettings(fixture.updateDir));
    } else if (situation == "descriptor is a directory") {
        QVERIFY(fixture.writeSettings(fixture.updateDir));
        QVERIFY(QDir(fixture.updateDir).mkdir("update.info"));
    } else if (situation == "descriptor without Version") {
        QVERIFY(fixture.writeSettings(fixture.updateDir));
        QVERIFY(fixture.writeDescriptor(fixture.updateDir, "FileName=/KLADR.sqlite\nFileType=RAW\n"));
        QVERIFY(writeAll(offered, offeredDatabase));
    } else if (situation == "offered file missing") {
        QVERIFY(fixture.offer("/KLADR.sqlite", "RAW"));
    } else if (situation == "offered file is a directory") {
        QVERIFY(QDir(fixture.updateDir).mkdir("KLADR.sqlite"));
        QVERIFY(fixture.offer("/KLADR.sqlite", "RAW"));
    } else if (situation == "offered file fails to read") {
        QVERIFY(fixture.writeDescriptor(
            fixture.updateDir, "Version=" + OfferedVersion.toUtf8() + "\nFileName=/mem\nFileType=RAW\n"));
        // The descriptor lives where InfoFile says; point it back at the update directory.
        QVERIFY(writeAll(fixture.appDir + "/Velmora.ini",
            "[Updater]\nUpdatePath=/proc/self\nInfoFile=/../../" + fixture.updateDir.toUtf8()
                + "/update.info\n"));
        fixture.descriptorPath = "/proc/self/../../" + fixture.updateDir + "/update.info";
        offered = "/proc/self/mem";
    } else if (situation == "ZIP that is not a ZIP") {
        QVERIFY(offerZip(offeredDatabase));
    } else if (situation == "ZIP cut in half") {
        QVERIFY(offerZip(goodZip.left(goodZip.size() / 2)));
    } else if (situation == "ZIP without entries") {
        QVERIFY(makeZip(fixture.tmp.path() + "/empty.zip", {}));
        QVERIFY(offerZip(readAll(fixture.tmp.path() + "/empty.zip")));
    } else if (situation == "ZIP with a broken central directory") {
        QByteArray bytes = goodZip;
        const int end = bytes.lastIndexOf("PK\x05\x06");
        QVERIFY(end > 0);
        // End record offset 16: where the central directory starts; spoil its first header.
        const int central = static_cast<int>(le16(bytes, end + 16) | le16(bytes, end + 18) << 16);
        QCOMPARE(bytes.mid(central, 4), QByteArray("PK\x01\x02"));
        bytes[central] = 'X';
        QVERIFY(offerZip(bytes));
    } else if (situation == "ZIP entry with a broken local header") {
        QByteArray bytes = goodZip;
        QCOMPARE(bytes.left(4), QByteArray("PK\x03\x04"));
        bytes[0] = 'X';
        QVERIFY(offerZip(bytes));
    } else if (situation == "ZIP entry failing its CRC") {
        QVERIFY(makeZip(fixture.tmp.path() + "/stored.zip", { { "KLADR.sqlite", offeredDatabase } }, 0));
        QByteArray bytes = readAll(fixture.tmp.path() + "/stored.zip");
        // Stored data is the database itself; change one byte near its end.
        const int at = firstEntryDataOffset(bytes) + offeredDatabase.size() - 10;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x5a);
        QVERIFY(offerZip(bytes));
    } else if (situation == "ZIP entry with a corrupt deflate stream") {
        QByteArray bytes = goodZip;
        // Block type 3 in the first deflate header is reserved: inflate fails at once.
        bytes[firstEntryDataOffset(bytes)] = static_cast<char>(0xff);
        QVERIFY(offerZip(bytes));
    } else if (situation == "offered file is the local database") {
        QVERIFY(fixture.offer("/KLADR.sqlite", "RAW", fixture.localDir));
        offered = fixture.localFile();
    } else if (situation == "offered file links to the local database") {
        QVERIFY(QFile::link(fixture.localFile(), offered));
        QVERIFY(fixture.offer("/KLADR.sqlite", "RAW"));
    } else if (situation == "offered archive is the archive copy") {
        QVERIFY(writeAll(fixture.zipCopy(), goodZip));
        QVERIFY(fixture.offer("/KLADR.sqlite.zip", "ZIP", fixture.localDir));
        offered = fixture.zipCopy();
    } else if (situation == "archive copy links to the local database") {
        QVERIFY(QFile::link(fixture.localFile(), fixture.zipCopy()));
        QVERIFY(offerZip(goodZip));
    } else if (situation == "archive copy target is a directory") {
        QVERIFY(QDir(fixture.localDir).mkdir("KLADR.sqlite.zip"));
        QVERIFY(writeAll(fixture.zipCopy() + "/keep", "x"));
        QVERIFY(offerZip(goodZip));
    } else {
        QFAIL("unknown situation");
    }

    const QByteArray localBefore = readAll(fixture.localFile());
    QStringList namesBefore = fileNames(fixture.localDir);
    if (zipCopyLeft && !namesBefore.contains("KLADR.sqlite.zip")) {
        namesBefore << "KLADR.sqlite.zip";
        namesBefore.sort();
    }
    const QByteArray offeredBefore = readAll(offered);

    RecordingHost host;
    fixture.update(host)->checkDatabaseVersion();

    for (QString& line : expected)
        line = expand(line, offered, fixture);
    QCOMPARE(host.lines(), QStringList({ Checking }) + expected);

    QCOMPARE(readAll(fixture.localFile()), localBefore);
    QCOMPARE(fileNames(fixture.localDir), namesBefore);
    if (zipCopyLeft)
        QCOMPARE(readAll(fixture.zipCopy()), offeredBefore);
    if (offered != "/proc/self/mem")
        QCOMPARE(readAll(offered), offeredBefore);
    QCOMPARE(fixture.db().isOpen(), connectionOpen);
    if (connectionOpen)
        QCOMPARE(fixture.versionInLocalDatabase(), LocalVersion);
    // The progress frame is not left shown.
    if (!host.visible().isEmpty())
        QCOMPARE(host.visible().last(), false);
}

// The offered file shrinks while it is copied: the short copy must not replace the local database.
void TestDatabaseUpdate::offeredFileEndingEarly()
{
    Fixture fixture;
    QVERIFY(QDir().mkpath(fixture.localDir));
    const QByteArray local = makeDatabase(fixture.localFile(), LocalVersion, 20);
    const QString offered = fixture.updateDir + "/KLADR.sqlite";
    QVERIFY(writeAll(offered, patternBytes(250000, 1)));

    RecordingHost host;
    std::unique_ptr<DatabaseUpdate> update = fixture.update(host);
    update->setChunkHook([&](int nChunk) {
        if (nChunk == 0)
            QVERIFY(QFile::resize(offered, 150000));
    });
    QCOMPARE(update->install(offered, false, OfferedVersion), DatabaseUpdate::Outcome::Failed);

    QCOMPARE(readAll(fixture.localFile()), local);
    QCOMPARE(fileNames(fixture.localDir), QStringList({ "KLADR.sqlite" }));
    QVERIFY(fixture.db().isOpen());
    QCOMPARE(fixture.versionInLocalDatabase(), LocalVersion);
    QCOMPARE(host.visible(), QList<bool>({ true, false }));
}

// Only the exact "ZIP" marks an archive: anything else is copied as it is.
void TestDatabaseUpdate::lowerCaseZipCopiedAsPlainFile()
{
    Fixture fixture;
    QVERIFY(QDir().mkpath(fixture.localDir));
    const QByteArray local = makeDatabase(fixture.localFile(), LocalVersion, 5);
    const QByteArray offeredDatabase
        = makeDatabase(fixture.tmp.path() + "/offered.sqlite", OfferedVersion, 5);
    const QString offered = fixture.updateDir + "/KLADR.sqlite.zip";
    QVERIFY(makeZip(offered, { { "KLADR.sqlite", offeredDatabase } }));
    QVERIFY(fixture.offer("/KLADR.sqlite.zip", "zip"));

    RecordingHost host;
    fixture.update(host)->checkDatabaseVersion();

    // Copied as a plain file, the archive is no database: refused.
    QCOMPARE(host.lines(),
        QStringList({ Checking, OtherVersion, Refused.arg(offered, "это не база данных SQLite") }));
    QCOMPARE(readAll(fixture.localFile()), local);
    QCOMPARE(fileNames(fixture.localDir), QStringList({ "KLADR.sqlite" }));
}

// A file where the local database directory would be created: the forced update cannot open the
// copy target, and the file in the way stays as it was.
void TestDatabaseUpdate::localDirectoryNotCreatable()
{
    Fixture fixture;
    const QString blocker = fixture.tmp.path() + "/blocker";
    QVERIFY(writeAll(blocker, "a file, not a directory"));
    fixture.setLocalDir(blocker + "/local");
    const QString offered = fixture.updateDir + "/KLADR.sqlite";
    QVERIFY(writeAll(offered, makeDatabase(fixture.tmp.path() + "/offered.sqlite", OfferedVersion, 5)));
    QVERIFY(fixture.offer("/KLADR.sqlite", "RAW"));

    RecordingHost host;
    fixture.update(host)->checkDatabaseVersion();

    QStringList expected { Checking, Forced, DirMissing, DirFailed, CannotWrite.arg("%T"),
        CannotReadOffered };
    for (QString& line : expected)
        line = expand(line, offered, fixture);
    QCOMPARE(host.lines(), expected);
    QCOMPARE(readAll(blocker), QByteArray("a file, not a directory"));
}

// Needs an account that file permissions apply to; root writes anywhere.
void TestDatabaseUpdate::localDirectoryNotWritable()
{
    Fixture fixture;
    QVERIFY(QDir().mkpath(fixture.localDir));
    const QByteArray local = makeDatabase(fixture.localFile(), LocalVersion, 5);
    const QString offered = fixture.updateDir + "/KLADR.sqlite";
    QVERIFY(writeAll(offered, makeDatabase(fixture.tmp.path() + "/offered.sqlite", OfferedVersion, 5)));
    QVERIFY(fixture.offer("/KLADR.sqlite", "RAW"));
    QVERIFY(QFile::setPermissions(fixture.localDir, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const auto restore = qScopeGuard([&] {
        QFile::setPermissions(
            fixture.localDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    });
    {
        QFile probe(fixture.localDir + "/probe");
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QSKIP("the directory stays writable for this account (root)");
        }
    }

    RecordingHost host;
    fixture.update(host)->checkDatabaseVersion();

    QStringList expected { Checking, OtherVersion, CannotWrite.arg("%T"), CannotReadOffered };
    for (QString& line : expected)
        line = expand(line, offered, fixture);
    QCOMPARE(host.lines(), expected);
    QCOMPARE(readAll(fixture.localFile()), local);
    QCOMPARE(fileNames(fixture.localDir), QStringList({ "KLADR.sqlite" }));
}

// Each offer is copied in full and checked; none replaces the local database.
void TestDatabaseUpdate::offerRefused_data()
{
    QTest::addColumn<QString>("offer");
    QTest::addColumn<QString>("problem");

    QTest::newRow("random bytes") << "random bytes"
                                  << "это не база данных SQLite";
    QTest::newRow("ZIP of a text file") << "ZIP of a text file"
                                        << "это не база данных SQLite";
    QTest::newRow("ZIP of two entries") << "ZIP of two entries"
                                        << "в архиве файлов: 2, а должен быть ровно один — файл базы данных";
    QTest::newRow("database without DOMA") << "database without DOMA"
                                           << "в нём нет таблицы DOMA";
    QTest::newRow("database without version") << "database without version"
                                              << "в нём нет версии (таблицы info)";
    QTest::newRow("version differs from the descriptor")
        << "version differs from the descriptor"
        << QStringLiteral("его версия '%1' не совпадает с версией '%2', объявленной в файле обновлений")
               .arg(LocalVersion, OfferedVersion);
    QTest::newRow("database cut short") << "database cut short"
                                        << "файл повреждён";
    QTest::newRow("KLADR of other columns") << "KLADR of other columns"
                                            << "в таблице KLADR нет столбца name";
    QTest::newRow("empty file") << "empty file"
                                << "это не база данных SQLite";
}

void TestDatabaseUpdate::offerRefused()
{
    QFETCH(QString, offer);
    QFETCH(QString, problem);

    Fixture fixture;
    QVERIFY(QDir().mkpath(fixture.localDir));
    const QByteArray local = makeDatabase(fixture.localFile(), LocalVersion, 30);
    const QString scratch = fixture.tmp.path() + "/scratch.sqlite";
    const QByteArray good = makeDatabase(fixture.tmp.path() + "/good.sqlite", OfferedVersion, 40);
    bool bZip = false;
    QByteArray bytes;
    if (offer == "random bytes") {
        bytes = patternBytes(70000, 5);
    } else if (offer == "ZIP of a text file") {
        bZip = true;
        QVERIFY(makeZip(scratch, { { "KLADR.sqlite", "a text, not a database\n" } }));
    } else if (offer == "ZIP of two entries") {
        bZip = true;
        QVERIFY(makeZip(scratch, { { "KLADR.sqlite", good }, { "readme.txt", "second entry" } }));
    } else if (offer == "database without DOMA") {
        bytes = makeDatabase(scratch, OfferedVersion, 10, "DOMA");
    } else if (offer == "database without version") {
        bytes = makeDatabase(scratch, QString(), 10);
    } else if (offer == "version differs from the descriptor") {
        bytes = makeDatabase(scratch, LocalVersion, 10);
    } else if (offer == "database cut short") {
        bytes = makeDatabase(scratch, OfferedVersion, 3000);
        bytes.truncate(bytes.size() / 2);
    } else if (offer == "KLADR of other columns") {
        bytes = makeDatabase(scratch, OfferedVersion, 0, "KLADR");
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other-columns");
        db.setDatabaseName(scratch);
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec("CREATE TABLE KLADR (title TEXT, code TEXT)"));
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("other-columns");
        bytes = readAll(scratch);
    }
    if (bZip)
        bytes = readAll(scratch);
    const QString offered = fixture.updateDir + (bZip ? "/KLADR.sqlite.zip" : "/KLADR.sqlite");
    QVERIFY(writeAll(offered, bytes));
    QVERIFY(fixture.offer(bZip ? "KLADR.sqlite.zip" : "KLADR.sqlite", bZip ? "ZIP" : "RAW"));

    RecordingHost host;
    QCOMPARE(fixture.update(host)->checkDatabaseVersion(), DatabaseUpdate::Outcome::Refused);

    // One line names what is wrong, and it is the last.
    const QStringList lines = host.lines();
    QVERIFY2(lines.last().startsWith(Refused.arg(offered, problem).section(". Локальная", 0, 0)),
        qPrintable(lines.join('\n')));
    QVERIFY(lines.last().endsWith(QStringLiteral(". Локальная база данных не изменена.")));
    QCOMPARE(readAll(fixture.localFile()), local);
    QStringList names = fileNames(fixture.localDir);
    names.removeAll("KLADR.sqlite.zip");
    QCOMPARE(names, QStringList({ "KLADR.sqlite" }));
    QCOMPARE(fixture.versionInLocalDatabase(), LocalVersion);
}

// An import holds the database: the install waits, says so, and leaves the file alone; once the
// import has ended the same offer goes in.
void TestDatabaseUpdate::installWaitsForTheImport()
{
    Fixture fixture;
    QVERIFY(QDir().mkpath(fixture.localDir));
    const QByteArray local = makeDatabase(fixture.localFile(), LocalVersion, 30);
    const QByteArray offered = makeDatabase(fixture.updateDir + "/KLADR.sqlite", OfferedVersion, 40);
    QVERIFY(fixture.offer("KLADR.sqlite", "RAW"));

    QLockFile importLock(fixture.localFile() + ".lock");
    QVERIFY(importLock.tryLock(0));
    {
        RecordingHost host;
        std::unique_ptr<DatabaseUpdate> update = fixture.update(host);
        update->setLockTimeout(200);
        QCOMPARE(update->checkDatabaseVersion(), DatabaseUpdate::Outcome::Busy);
        QVERIFY2(host.lines().at(2).contains(QStringLiteral("сейчас изменяет другой процесс")),
            qPrintable(host.lines().join('\n')));
        QCOMPARE(host.lines().last(),
            QStringLiteral("Обновление не выполнено, локальная база данных не изменена."));
        QCOMPARE(readAll(fixture.localFile()), local);
        QCOMPARE(fileNames(fixture.localDir), QStringList({ "KLADR.sqlite", "KLADR.sqlite.lock" }));
    }
    importLock.unlock();

    RecordingHost host;
    QCOMPARE(fixture.update(host)->checkDatabaseVersion(), DatabaseUpdate::Outcome::Installed);
    QCOMPARE(readAll(fixture.localFile()), offered);
    QCOMPARE(fileNames(fixture.localDir), QStringList({ "KLADR.sqlite" }));
}

// A rollback journal left by an import killed mid-block belongs to the old file; SQLite would
// roll it into the new one, which it finds by the same name.
void TestDatabaseUpdate::staleJournalRemovedBeforeTheRename()
{
    Fixture fixture;
    QVERIFY(QDir().mkpath(fixture.localDir));
    makeDatabase(fixture.localFile(), LocalVersion, 30);
    // A hot journal of the old file: its header and the old pages, as a killed writer leaves it.
    const QByteArray oldPages = readAll(fixture.localFile());
    QVERIFY(writeAll(fixture.localFile() + "-journal",
        QByteArray::fromHex("d9d505f920a163d7") + QByteArray(504, '\0') + oldPages));
    QVERIFY(writeAll(fixture.localFile() + "-wal", patternBytes(4096, 2)));
    const QByteArray offered = makeDatabase(fixture.updateDir + "/KLADR.sqlite", OfferedVersion, 40);
    QVERIFY(fixture.offer("KLADR.sqlite", "RAW"));

    RecordingHost host;
    QCOMPARE(fixture.update(host)->checkDatabaseVersion(), DatabaseUpdate::Outcome::Installed);
    QCOMPARE(fileNames(fixture.localDir), QStringList({ "KLADR.sqlite" }));
    QCOMPARE(readAll(fixture.localFile()), offered);
    QSqlQuery query(fixture.db());
    QVERIFY(query.exec("PRAGMA integrity_check") && query.next());
    QCOMPARE(query.value(0).toString(), QStringLiteral("ok"));
}

// However the ini and the descriptor write the separator, the offer is found and installed.
void TestDatabaseUpdate::updatePathsJoined_data()
{
    QTest::addColumn<QString>("updateSubdir");
    QTest::addColumn<QString>("updatePathSuffix");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("infoFile");

    QTest::newRow("no separator on either side") << "update"
                                                 << ""
                                                 << "KLADR.sqlite"
                                                 << "update.info";
    QTest::newRow("separator on both sides") << "update"
                                             << "/"
                                             << "/KLADR.sqlite"
                                             << "/update.info";
    QTest::newRow("trailing separator only") << "update"
                                             << "/"
                                             << "KLADR.sqlite"
                                             << "update.info";
    QTest::newRow("leading separator only") << "update"
                                            << ""
                                            << "/KLADR.sqlite"
                                            << "/update.info";
    // Qt's INI format escapes a backslash as two, as QSettings writes it.
    QTest::newRow("Windows separators") << "update"
                                        << "\\\\"
                                        << "\\\\KLADR.sqlite"
                                        << "\\\\update.info";
    QTest::newRow("Cyrillic directory") << "обновления базы"
                                        << ""
                                        << "KLADR.sqlite"
                                        << "update.info";
}

void TestDatabaseUpdate::updatePathsJoined()
{
    QFETCH(QString, updateSubdir);
    QFETCH(QString, updatePathSuffix);
    QFETCH(QString, fileName);
    QFETCH(QString, infoFile);

    Fixture fixture;
    QVERIFY(QDir().mkpath(fixture.localDir));
    const QString updateDir = fixture.tmp.path() + "/" + updateSubdir;
    QVERIFY(QDir().mkpath(updateDir));
    const QByteArray offered = makeDatabase(updateDir + "/KLADR.sqlite", OfferedVersion, 10);
    QVERIFY(writeAll(fixture.appDir + "/Velmora.ini",
        "[ThisFile]\nCodePage=UTF-8\n[Updater]\nUpdatePath=" + (updateDir + updatePathSuffix).toUtf8()
            + "\nInfoFile=" + infoFile.toUtf8() + "\n"));
    QVERIFY(fixture.writeDescriptor(updateDir,
        "Version=" + OfferedVersion.toUtf8() + "\nFileName=" + fileName.toUtf8() + "\nFileType=RAW\n"));

    RecordingHost host;
    QCOMPARE(fixture.update(host)->checkDatabaseVersion(), DatabaseUpdate::Outcome::Installed);
    QCOMPARE(host.lines().last(), Updated);
    QCOMPARE(host.lines().first(), Checking);
    QCOMPARE(readAll(fixture.localFile()), offered);
}

// The installed package names no update location: one calm line, no error, no file made.
void TestDatabaseUpdate::calmLineWithoutUpdateLocation()
{
    Fixture fixture;
    QVERIFY(QDir().mkpath(fixture.localDir));
    QVERIFY(writeAll(fixture.appDir + "/Velmora.ini", "[LocalDB]\nPath=" + fixture.localDir.toUtf8() + "\n"));

    RecordingHost host;
    QCOMPARE(fixture.update(host)->checkDatabaseVersion(), DatabaseUpdate::Outcome::NotConfigured);
    QCOMPARE(host.lines(),
        QStringList({ Checking,
            QStringLiteral("Обновление базы данных из общего каталога выключено: в файле '%1/Velmora.ini' не "
                           "указан каталог обновлений. Чтобы включить его, укажите каталог в параметре "
                           "UpdatePath раздела [Updater].")
                .arg(fixture.appDir) }));
    QCOMPARE(fileNames(fixture.localDir), QStringList());

    // A named location that cannot be read keeps the administrator's line, and the empty file
    // the check's connection made is not left behind.
    QVERIFY(fixture.writeSettings(fixture.tmp.path() + "/not mounted"));
    RecordingHost named;
    QCOMPARE(fixture.update(named)->checkDatabaseVersion(), DatabaseUpdate::Outcome::NoDescriptor);
    QCOMPARE(named.lines().last(), expand(NoDescriptor, QString(), fixture));

    QVERIFY(fixture.offer("KLADR.sqlite", "RAW"));
    RecordingHost missing;
    QCOMPARE(fixture.update(missing)->checkDatabaseVersion(), DatabaseUpdate::Outcome::Failed);
    QCOMPARE(fileNames(fixture.localDir), QStringList());
}

QTEST_GUILESS_MAIN(TestDatabaseUpdate)
#include "tst_databaseupdate.moc"
