// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-tool publish's work: what reaches the update location, and what a desktop reading the
// location between the steps installs.
#include "completedatabase.h"
#include "databaseupdate.h"
#include "recordinghost.h"
#include "updatepublisher.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <quazip/quazip.h>

namespace {

const QString First = QStringLiteral("Mon Nov 2 10:00:00 2026");
const QString Second = QStringLiteral("second");

QString versionOf(const QString& path)
{
    QString version;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("version"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery query(db);
        if (db.open() && query.exec(QLatin1String(Schema::SelectVersion)) && query.next())
            version = query.value(0).toString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("version"));
    return version;
}

// A desktop's start-up check against the location: its outcome and the version it then has.
struct Desktop {
    DatabaseUpdate::Outcome outcome;
    QString version;
};

Desktop startDesktop(const QString& root, const QString& updateDir, int nDesktop)
{
    const QString app = root + QStringLiteral("/app%1").arg(nDesktop);
    const QString local = root + QStringLiteral("/desk%1").arg(nDesktop);
    QDir().mkpath(app);
    {
        QSettings ini(app + QStringLiteral("/Velmora.ini"), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Updater/UpdatePath"), updateDir);
    }
    Desktop desktop;
    const QString connection = QStringLiteral("desktop");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(local + QStringLiteral("/KLADR.sqlite"));
        RecordingHost host;
        desktop.outcome = DatabaseUpdate(&host, app, local, connection).checkDatabaseVersion();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    desktop.version = versionOf(local + QStringLiteral("/KLADR.sqlite"));
    return desktop;
}

} // namespace

class TestUpdatePublisher : public QObject {
    Q_OBJECT
private slots:
    void desktopSeesOldOrNewOffer_data();
    void desktopSeesOldOrNewOffer();
    void incompleteDatabaseRefused_data();
    void incompleteDatabaseRefused();
    void sameVersionIsNotPublishedAgain();
};

void TestUpdatePublisher::desktopSeesOldOrNewOffer_data()
{
    QTest::addColumn<bool>("bZip");
    QTest::newRow("plain") << false;
    QTest::newRow("ZIP") << true;
}

// The first version is offered; the second is published with a desktop starting at each step.
// Each desktop installs one whole offer: the first before the descriptor names the second, the
// second after.
void TestUpdatePublisher::desktopSeesOldOrNewOffer()
{
    QFETCH(bool, bZip);
    QTemporaryDir tmp;
    const QString source = tmp.path() + QStringLiteral("/admin");
    const QString share = tmp.path() + QStringLiteral("/share");
    QVERIFY(QDir().mkpath(source));
    const QByteArray sourceBytes = makeDatabase(source + QStringLiteral("/KLADR.sqlite"), First, 500);

    RecordingHost host;
    UpdatePublisher publisher(&host);
    QVERIFY(publisher.publish(source, share, bZip, QString()));
    QCOMPARE(startDesktop(tmp.path(), share, 0).version, First);

    int nDesktop = 1;
    QList<QPair<UpdatePublisher::Step, QString>> seen;
    publisher.setStepHook([&](UpdatePublisher::Step step) {
        const Desktop desktop = startDesktop(tmp.path(), share, nDesktop++);
        QCOMPARE(desktop.outcome, DatabaseUpdate::Outcome::Installed);
        seen << qMakePair(step, desktop.version);
    });
    QVERIFY(publisher.publish(source, share, bZip, Second));
    QCOMPARE(seen,
        (QList<QPair<UpdatePublisher::Step, QString>> { { UpdatePublisher::Step::DatabaseWritten, First },
            { UpdatePublisher::Step::DatabaseInPlace, First },
            { UpdatePublisher::Step::DescriptorInPlace, Second } }));

    // The desktop that had the first version now gets the second.
    publisher.setStepHook(nullptr);
    QCOMPARE(startDesktop(tmp.path(), share, 0).version, Second);
    // The source keeps its own stamp; the location holds the new offer and nothing half written.
    QCOMPARE(readAll(source + QStringLiteral("/KLADR.sqlite")), sourceBytes);
    const QStringList files = QDir(share).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(files.size(), 3);
    QVERIFY(files.contains(QStringLiteral("update.info")));
    QSettings descriptor(share + QStringLiteral("/update.info"), QSettings::IniFormat);
    QCOMPARE(descriptor.value(QStringLiteral("DataBase/FileType")).toString(), bZip ? "ZIP" : "RAW");
    const QString offered = descriptor.value(QStringLiteral("DataBase/FileName")).toString();
    QVERIFY(files.contains(offered));
    if (bZip) {
        QuaZip zip(share + QLatin1Char('/') + offered);
        QVERIFY(zip.open(QuaZip::mdUnzip));
        QCOMPARE(zip.getFileNameList(), QStringList { QStringLiteral("KLADR.sqlite") });
    }

    // A third publication removes the first offer, which no descriptor names any more.
    QVERIFY(publisher.publish(source, share, bZip, QStringLiteral("third")));
    QCOMPARE(QDir(share).entryList(QDir::Files | QDir::Hidden).size(), 3);
    QVERIFY(QDir(share).entryList(QDir::Files).contains(offered));
}

void TestUpdatePublisher::incompleteDatabaseRefused_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("problem");
    QTest::newRow("no STREET") << "no STREET"
                               << "в нём нет таблицы STREET";
    QTest::newRow("table still being imported") << "table still being imported"
                                                << "в нём нет таблицы DOMA";
    QTest::newRow("no index") << "no index"
                              << "в нём нет индекса index_doma_index";
    QTest::newRow("never stamped") << "never stamped"
                                   << "в нём нет версии (таблицы info)";
    QTest::newRow("cut short") << "cut short"
                               << "файл повреждён";
    QTest::newRow("no database") << "no database" << QString();
}

void TestUpdatePublisher::incompleteDatabaseRefused()
{
    QFETCH(QString, damage);
    QFETCH(QString, problem);
    QTemporaryDir tmp;
    const QString source = tmp.path() + QStringLiteral("/admin");
    const QString database = source + QStringLiteral("/KLADR.sqlite");
    const QString share = tmp.path() + QStringLiteral("/share");
    QVERIFY(QDir().mkpath(source));
    if (damage == "no STREET")
        makeDatabase(database, First, 10, QStringLiteral("STREET"));
    else if (damage == "never stamped")
        makeDatabase(database, QString(), 10);
    else if (damage == "cut short")
        QVERIFY(QFile::resize(database, makeDatabase(database, First, 3000).size() / 2));
    else if (damage != "no database") {
        makeDatabase(database, First, 10);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("damage"));
        db.setDatabaseName(database);
        QVERIFY(db.open());
        QSqlQuery query(db);
        if (damage == "no index")
            QVERIFY(query.exec(QStringLiteral("DROP INDEX index_doma_index")));
        else
            QVERIFY(query.exec(QStringLiteral("ALTER TABLE DOMA RENAME TO DOMA_partial")));
        query.finish();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("damage"));
    }

    RecordingHost host;
    QVERIFY(!UpdatePublisher(&host).publish(source, share, false, QString()));
    if (!problem.isEmpty())
        QCOMPARE(host.lines().last().left(host.lines().last().indexOf(problem) + problem.size()),
            QStringLiteral("База данных '%1' не опубликована: %2").arg(database, problem));
    QVERIFY(!QFileInfo::exists(share + QStringLiteral("/update.info")));
    QCOMPARE(QDir(share).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestUpdatePublisher::sameVersionIsNotPublishedAgain()
{
    QTemporaryDir tmp;
    const QString source = tmp.path() + QStringLiteral("/admin");
    const QString share = tmp.path() + QStringLiteral("/share");
    QVERIFY(QDir().mkpath(source));
    makeDatabase(source + QStringLiteral("/KLADR.sqlite"), First, 10);
    RecordingHost host;
    UpdatePublisher publisher(&host);
    QVERIFY(publisher.publish(source, share, false, QString()));
    QVERIFY(!publisher.alreadyOffered());
    const QStringList before = QDir(share).entryList(QDir::Files);
    const QByteArray descriptor = readAll(share + QStringLiteral("/update.info"));

    QVERIFY(publisher.publish(source, share, true, QString()));
    QVERIFY(publisher.alreadyOffered());
    QVERIFY(host.lines().last().endsWith(QStringLiteral("Публикация не нужна.")));
    QCOMPARE(QDir(share).entryList(QDir::Files), before);
    QCOMPARE(readAll(share + QStringLiteral("/update.info")), descriptor);
}

QTEST_GUILESS_MAIN(TestUpdatePublisher)
#include "tst_updatepublisher.moc"
