// SPDX-License-Identifier: GPL-3.0-or-later
// An update offered while velmora-tool import builds the same database: the import is stopped
// (SIGSTOP) mid-table, the install is attempted and must leave the file alone; the import then
// resumes, or is killed and run again, and the database ends complete and sound.

#include "completedatabase.h"
#include "databasefile.h"
#include "databaseupdate.h"
#include "importfixture.h"
#include "updatepublisher.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

using KladrSample::Table;

namespace {

bool writeSample(const QString& dir, int nSeed)
{
    QFile socrbase(Fixture::socrbasePath());
    if (!socrbase.open(QIODevice::ReadOnly))
        return false;
    KladrSample::Options options;
    options.scale = 0.01;
    options.seed = nSeed;
    QString error;
    return KladrSample::writeSample(dir, socrbase.readAll(), options, nullptr, &error);
}

DatabaseUpdate::Outcome install(const QString& appDir, const QString& localDir, RecordingHost& host)
{
    const QString connection = QStringLiteral("desktop");
    DatabaseUpdate::Outcome outcome;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(localDir + QStringLiteral("/KLADR.sqlite"));
        DatabaseUpdate update(&host, appDir, localDir, connection);
        update.setLockTimeout(300);
        outcome = update.checkDatabaseVersion();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return outcome;
}

} // namespace

class TestImportLock : public QObject {
    Q_OBJECT

private slots:
    void installDuringAnImport_data()
    {
        QTest::addColumn<bool>("bKill");
        QTest::newRow("import resumed") << false;
        QTest::newRow("import killed and run again") << true;
    }

    void installDuringAnImport()
    {
        QFETCH(bool, bKill);
        QTemporaryDir tmp;
        const QString admin = tmp.path() + QStringLiteral("/admin");
        const QString share = tmp.path() + QStringLiteral("/share");
        const QString desk = tmp.path() + QStringLiteral("/desk");
        const QString app = tmp.path() + QStringLiteral("/app");
        QVERIFY(writeSample(admin, 3));
        QVERIFY(writeSample(desk, 7));
        QVERIFY(QDir().mkpath(app));
        {
            QSettings ini(app + QStringLiteral("/Velmora.ini"), QSettings::IniFormat);
            ini.setValue(QStringLiteral("Updater/UpdatePath"), share);
        }
        QProcess build;
        build.start(QStringLiteral(VELMORA_TOOL), { QStringLiteral("import"), admin });
        QVERIFY(build.waitForFinished(120000));
        QCOMPARE(build.exitCode(), 0);
        RecordingHost publishing;
        QVERIFY(UpdatePublisher(&publishing).publish(admin, share, true, QStringLiteral("offered")));

        // Stopped while DOMA's rows go in: the tables before it are in, DOMA is half built.
        QProcess import;
        import.setProcessChannelMode(QProcess::MergedChannels);
        bool creating = false;
        bool stopped = false;
        QEventLoop loop;
        connect(&import, &QProcess::readyReadStandardOutput, this, [&] {
            while (!stopped && import.canReadLine()) {
                const QString line = QString::fromUtf8(import.readLine()).trimmed();
                if (line.endsWith(QStringLiteral("Создание таблицы DOMA.")))
                    creating = true;
                else if (creating && line.contains(QStringLiteral(": Добавление "))) {
                    ::kill(static_cast<pid_t>(import.processId()), SIGSTOP);
                    stopped = true;
                    loop.quit();
                }
            }
        });
        connect(
            &import, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop, &QEventLoop::quit);
        import.start(QStringLiteral(VELMORA_TOOL), { QStringLiteral("import"), desk });
        QVERIFY(import.waitForStarted());
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        loop.exec();
        QVERIFY(stopped);
        const QString database = desk + QStringLiteral("/KLADR.sqlite");
        const QByteArray during = readAll(database);

        RecordingHost host;
        QCOMPARE(install(app, desk, host), DatabaseUpdate::Outcome::Busy);
        QVERIFY2(host.lines().join('\n').contains(
                     QStringLiteral("сейчас изменяет другой процесс (velmora-tool, pid %1)")
                         .arg(import.processId())),
            qPrintable(host.lines().join('\n')));
        QCOMPARE(readAll(database), during);
        QVERIFY(!QFileInfo::exists(database + QStringLiteral(".new")));

        if (bKill) {
            import.kill();
            QVERIFY(import.waitForFinished(30000));
            QProcess again;
            again.start(QStringLiteral(VELMORA_TOOL), { QStringLiteral("import"), desk });
            QVERIFY(again.waitForFinished(120000));
            QCOMPARE(again.exitCode(), 0);
        } else {
            ::kill(static_cast<pid_t>(import.processId()), SIGCONT);
            QVERIFY(import.waitForFinished(120000));
            QCOMPARE(import.exitStatus(), QProcess::NormalExit);
            QCOMPARE(import.exitCode(), 0);
        }
        // The import's own database, complete, sound and stamped once.
        QCOMPARE(
            Fixture::sqlValues(database, QStringLiteral("PRAGMA integrity_check")), QStringList { "ok" });
        QCOMPARE(
            Fixture::sqlValues(database, QStringLiteral("SELECT COUNT(*) FROM info")), QStringList { "1" });
        QCOMPARE(checkDatabaseFile(database).problem, QString());
        QCOMPARE(Fixture::sqlValues(database,
                     QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name LIKE '%partial'")),
            QStringList { "0" });

        // With the import over, the offer goes in whole.
        RecordingHost later;
        QCOMPARE(install(app, desk, later), DatabaseUpdate::Outcome::Installed);
        QCOMPARE(checkDatabaseFile(database).version, QStringLiteral("offered"));
        QCOMPARE(
            Fixture::sqlValues(database, QStringLiteral("PRAGMA integrity_check")), QStringList { "ok" });
        QCOMPARE(Fixture::sqlValues(database, QStringLiteral("SELECT COUNT(*) FROM DOMA")),
            Fixture::sqlValues(
                admin + QStringLiteral("/KLADR.sqlite"), QStringLiteral("SELECT COUNT(*) FROM DOMA")));
    }
};

QTEST_GUILESS_MAIN(TestImportLock)
#include "tst_importlock.moc"
