// SPDX-License-Identifier: GPL-3.0-or-later
// The window's start-up check and update, run on its worker: the window keeps handling events
// through the copy, and closing it during the copy leaves the local database as it was.
#include "mainwindow.h"
#include "schema.h"
#include "threaddatabaseupdate.h"

#include <QComboBox>
#include <QFrame>
#include <QSemaphore>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>

namespace {

const QString OfferedVersion = QStringLiteral("Wed Dec 9 03:00:00 2026");

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A complete database of some megabytes: tens of chunks to copy.
bool makeDatabase(const QString& path, const QString& version)
{
    bool bOk = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("writer"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            bOk = query.exec(QLatin1String(Schema::CreateKladr))
                && query.exec(QLatin1String(Schema::CreateStreet))
                && query.exec(QLatin1String(Schema::CreateDoma));
            for (const Schema::IndexStatement& index : Schema::Indexes)
                bOk = bOk && query.exec(QLatin1String(index.create));
            db.transaction();
            query.prepare(QLatin1String(Schema::InsertKladr));
            for (int i = 0; bOk && i < 20000; ++i) {
                for (int column = 0; column < 12; ++column)
                    query.bindValue(column, QStringLiteral("Населённый пункт %1-%2").arg(i).arg(column));
                bOk = query.exec();
            }
            db.commit();
            bOk = bOk && query.exec(QLatin1String(Schema::CreateInfo))
                && query.exec(QStringLiteral("INSERT INTO info (version) VALUES('%1')").arg(version));
            query.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("writer"));
    return bOk;
}

} // namespace

class TestWindowUpdate : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void noUpdateLocationLogsOneCalmLine();
    void eventLoopRunsThroughTheCopy();
    void closingDuringTheCopyKeepsTheLocalDatabase();

private:
    // An offer at update/ named by Velmora.ini, then the window.
    void offerAndOpen();
    QStringList logTexts() const;

    QTemporaryDir* m_pAppDir = nullptr;
    MainWindow* m_pWindow = nullptr;
    QString m_LocalFile;
    QByteArray m_Local;
};

void TestWindowUpdate::init()
{
    m_pAppDir = new QTemporaryDir;
    QVERIFY(m_pAppDir->isValid());
    g_AppDir = m_pAppDir->path();
    g_LocalDbDir = g_AppDir;
    m_LocalFile = g_AppDir + QStringLiteral("/KLADR.sqlite");
}

void TestWindowUpdate::cleanup()
{
    delete m_pWindow;
    m_pWindow = nullptr;
    delete m_pAppDir;
    m_pAppDir = nullptr;
}

void TestWindowUpdate::offerAndOpen()
{
    const QString updateDir = g_AppDir + QStringLiteral("/update");
    QVERIFY(QDir().mkpath(updateDir));
    QVERIFY(writeAll(
        g_AppDir + QStringLiteral("/Velmora.ini"), "[Updater]\nUpdatePath=" + updateDir.toUtf8() + "\n"));
    QVERIFY(writeAll(updateDir + QStringLiteral("/update.info"),
        "[ThisFile]\nCodePage=UTF-8\n[DataBase]\nVersion=" + OfferedVersion.toUtf8()
            + "\nFileName=KLADR.sqlite\nFileType=RAW\n"));
    QVERIFY(makeDatabase(updateDir + QStringLiteral("/KLADR.sqlite"), OfferedVersion));
    QVERIFY(QFileInfo(updateDir + QStringLiteral("/KLADR.sqlite")).size() > 10 * 100000);
    m_Local = "the local database as it was";
    QVERIFY(writeAll(m_LocalFile, m_Local));
    m_pWindow = new MainWindow;
    m_pWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pWindow));
}

QStringList TestWindowUpdate::logTexts() const
{
    auto* status = m_pWindow->findChild<QComboBox*>(QStringLiteral("status"));
    QStringList texts;
    for (int i = 0; i < status->count(); ++i)
        texts << status->itemText(i).mid(14); // without "hh:mm:ss.zzz: "
    return texts;
}

void TestWindowUpdate::noUpdateLocationLogsOneCalmLine()
{
    m_pWindow = new MainWindow;
    m_pWindow->checkDatabaseVersion();
    QVERIFY(m_pWindow->updateThread()->wait(30000));
    QTRY_COMPARE(logTexts().size(), 2);
    QCOMPARE(logTexts().at(0), QStringLiteral("Проверяем актуальность базы данных..."));
    QVERIFY2(
        logTexts().at(1).startsWith(QStringLiteral("Обновление базы данных из общего каталога выключено")),
        qPrintable(logTexts().at(1)));
    QVERIFY(!QFile::exists(m_LocalFile));
    QVERIFY(m_pWindow->findChild<QFrame*>(QStringLiteral("frame"))->isHidden());
}

// The copy waits at its first chunk until a timer of the window's thread has fired: only an
// event loop that keeps running lets it go on.
void TestWindowUpdate::eventLoopRunsThroughTheCopy()
{
    offerAndOpen();
    QSemaphore timerFired;
    std::atomic_bool bTimedOut { false };
    m_pWindow->updateThread()->setChunkHook([&](int nChunk) {
        if (nChunk == 0 && !timerFired.tryAcquire(1, 30000))
            bTimedOut = true;
    });
    QTimer::singleShot(0, m_pWindow, &MainWindow::checkDatabaseVersion);
    QTimer::singleShot(50, [&] { timerFired.release(); });

    QTRY_VERIFY_WITH_TIMEOUT(m_pWindow->updateThread()->isFinished(), 60000);
    QVERIFY(!bTimedOut);
    QTRY_VERIFY(logTexts().contains(QStringLiteral("База данных успешно обновлена.")));
    QCOMPARE(m_pWindow->updateThread()->lastOutcome(), DatabaseUpdate::Outcome::Installed);
    QCOMPARE(readAll(m_LocalFile), readAll(g_AppDir + QStringLiteral("/update/KLADR.sqlite")));
    QTRY_VERIFY(m_pWindow->findChild<QFrame*>(QStringLiteral("frame"))->isHidden());
}

// Closed at the third chunk, as main runs it: the loop ends, the window's destructor stops the
// copy, and the local database is byte-identical with nothing left beside it.
void TestWindowUpdate::closingDuringTheCopyKeepsTheLocalDatabase()
{
    offerAndOpen();
    ThreadDatabaseUpdate* thread = m_pWindow->updateThread();
    thread->setChunkHook([this, thread](int nChunk) {
        if (nChunk != 2)
            return;
        QMetaObject::invokeMethod(
            m_pWindow, [this] { m_pWindow->close(); }, Qt::QueuedConnection);
        while (!thread->isInterruptionRequested())
            QThread::msleep(5);
    });
    QTimer::singleShot(0, m_pWindow, &MainWindow::checkDatabaseVersion);
    QCOMPARE(qApp->exec(), 0);
    QVERIFY(!m_pWindow->isVisible());
    delete m_pWindow;
    m_pWindow = nullptr;

    QCOMPARE(readAll(m_LocalFile), m_Local);
    QCOMPARE(QDir(g_AppDir).entryList({ QStringLiteral("KLADR.sqlite*") }, QDir::Files | QDir::Hidden),
        QStringList { QStringLiteral("KLADR.sqlite") });
}

QTEST_MAIN(TestWindowUpdate)
#include "tst_windowupdate.moc"
