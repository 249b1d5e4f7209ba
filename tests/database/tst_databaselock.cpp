// SPDX-License-Identifier: GPL-3.0-or-later
// The lock every writer of the local database takes, and the replacement of the file under it.
#include "completedatabase.h"
#include "databasefile.h"
#include "databaselock.h"
#include "recordinghost.h"
#include "threaddatabasecreate.h"

#include <QDir>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <utime.h>

namespace {

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool age(const QString& path, int nSeconds)
{
    const time_t then = time(nullptr) - nSeconds;
    const utimbuf times { then, then };
    return utime(QFile::encodeName(path).constData(), &times) == 0;
}

// The process may not write a single byte into a file: what a full disk does to the lock's
// contents. SIGXFSZ is ignored so the write fails with EFBIG instead of ending the process.
class NoRoomForFiles {
public:
    NoRoomForFiles()
    {
        getrlimit(RLIMIT_FSIZE, &m_Saved);
        m_Previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit none = m_Saved;
        none.rlim_cur = 0;
        setrlimit(RLIMIT_FSIZE, &none);
    }
    ~NoRoomForFiles()
    {
        setrlimit(RLIMIT_FSIZE, &m_Saved);
        std::signal(SIGXFSZ, m_Previous);
    }

private:
    rlimit m_Saved {};
    void (*m_Previous)(int) = nullptr;
};

} // namespace

class TestDatabaseLock : public QObject {
    Q_OBJECT
private slots:
    void leftLocks_data();
    void leftLocks();
    void diskFullFailsTheImport();
    void replaceNeedsTheLock();
    void replaceRemovesCompanions();
    void replaceRefusedWhenAJournalStays();
};

void TestDatabaseLock::leftLocks_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("ageSeconds");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<QString>("messagePart");

    const QByteArray here = QSysInfo::machineHostName().toUtf8();
    // A live holder fills its file at once: an empty one is given a minute.
    QTest::newRow("empty, just made") << QByteArray() << 0 << false << "сейчас изменяет другой процесс";
    QTest::newRow("empty, two minutes old") << QByteArray() << 120 << true << QString();
    QTest::newRow("garbage, two minutes old")
        << QByteArray("\xff\xfe not a lock") << 120 << true << QString();
    QTest::newRow("process of this host gone") << "999999999\nvelmora-tool\n" + here + "\n"
                                               << 0 << true << QString();
    QTest::newRow("another host, however old") << QByteArray("4242\nvelmora-tool\nother-desktop\n") << 3600
                                               << false << "на компьютере 'other-desktop'";
    QTest::newRow("live process of this host") << QByteArray::number(QCoreApplication::applicationPid())
            + "\n" + QCoreApplication::applicationName().toUtf8() + "\n" + here + "\n"
                                               << 3600 << false
                                               << QStringLiteral("(%1, pid %2)")
                                                      .arg(QCoreApplication::applicationName())
                                                      .arg(QCoreApplication::applicationPid());
}

void TestDatabaseLock::leftLocks()
{
    QFETCH(QByteArray, contents);
    QFETCH(int, ageSeconds);
    QFETCH(bool, taken);
    QFETCH(QString, messagePart);

    QTemporaryDir dir;
    const QString database = dir.path() + QStringLiteral("/KLADR.sqlite");
    QVERIFY(writeAll(database + QStringLiteral(".lock"), contents));
    QVERIFY(age(database + QStringLiteral(".lock"), ageSeconds));

    DatabaseLock lock(database);
    const DatabaseLock::Result result = lock.acquire(100);
    QCOMPARE(result == DatabaseLock::Result::Locked, taken);
    QCOMPARE(lock.isLocked(), taken);
    if (!taken) {
        QCOMPARE(result, DatabaseLock::Result::Busy);
        QVERIFY2(lock.message().contains(messagePart), qPrintable(lock.message()));
        QCOMPARE(readAll(database + QStringLiteral(".lock")), contents);
    }
}

// The lock file cannot be filled: the import fails with the reason and writes nothing, instead
// of going on unlocked.
void TestDatabaseLock::diskFullFailsTheImport()
{
    QTemporaryDir dir;
    {
        NoRoomForFiles full;
        DatabaseLock lock(dir.path() + QStringLiteral("/KLADR.sqlite"));
        QCOMPARE(lock.acquire(100), DatabaseLock::Result::Failed);
        QVERIFY(lock.message().contains(QStringLiteral("Не удалось создать файл блокировки")));
    }
    QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/BASE")));
    RecordingHost host;
    ThreadDataBaseCreate thread;
    thread.setHost(&host);
    thread.setDirectories(QString(), dir.path());
    {
        NoRoomForFiles full;
        thread.start();
        QVERIFY(thread.wait(30000));
    }
    QVERIFY(!thread.lastRunReport().success);
    QVERIFY2(host.lines().join('\n').contains(QStringLiteral("Не удалось создать файл блокировки")),
        qPrintable(host.lines().join('\n')));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestDatabaseLock::replaceNeedsTheLock()
{
    QTemporaryDir dir;
    const QString database = dir.path() + QStringLiteral("/KLADR.sqlite");
    const QByteArray old = makeDatabase(database, QStringLiteral("old"), 5);
    makeDatabase(database + QStringLiteral(".new"), QStringLiteral("new"), 5);
    DatabaseLock lock(database);
    QString error;
    QVERIFY(!replaceDatabaseFile(lock, database + QStringLiteral(".new"), error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(readAll(database), old);
}

void TestDatabaseLock::replaceRemovesCompanions()
{
    QTemporaryDir dir;
    const QString database = dir.path() + QStringLiteral("/KLADR.sqlite");
    makeDatabase(database, QStringLiteral("old"), 5);
    const QByteArray fresh = makeDatabase(database + QStringLiteral(".new"), QStringLiteral("new"), 5);
    for (const char* suffix : { "-journal", "-wal", "-shm" })
        QVERIFY(writeAll(database + QLatin1String(suffix), "left by a killed writer"));
    DatabaseLock lock(database);
    QCOMPARE(lock.acquire(), DatabaseLock::Result::Locked);
    QString error;
    QVERIFY2(replaceDatabaseFile(lock, database + QStringLiteral(".new"), error), qPrintable(error));
    lock.unlock();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
        QStringList { QStringLiteral("KLADR.sqlite") });
    QCOMPARE(readAll(database), fresh);
    QCOMPARE(checkDatabaseFile(database).version, QStringLiteral("new"));
}

// A journal that cannot be removed would be rolled into the new file: the old one stays instead.
void TestDatabaseLock::replaceRefusedWhenAJournalStays()
{
    QTemporaryDir dir;
    const QString database = dir.path() + QStringLiteral("/KLADR.sqlite");
    const QByteArray old = makeDatabase(database, QStringLiteral("old"), 5);
    makeDatabase(database + QStringLiteral(".new"), QStringLiteral("new"), 5);
    QVERIFY(QDir().mkpath(database + QStringLiteral("-journal/inside")));
    DatabaseLock lock(database);
    QCOMPARE(lock.acquire(), DatabaseLock::Result::Locked);
    QString error;
    QVERIFY(!replaceDatabaseFile(lock, database + QStringLiteral(".new"), error));
    QVERIFY2(error.contains(QStringLiteral("-journal")), qPrintable(error));
    QCOMPARE(readAll(database), old);
    QVERIFY(QFileInfo::exists(database + QStringLiteral(".new")));
}

QTEST_GUILESS_MAIN(TestDatabaseLock)
#include "tst_databaselock.moc"
