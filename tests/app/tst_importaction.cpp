// SPDX-License-Identifier: GPL-3.0-or-later
// The window's classifier import: the menu action, the import from a folder or an archive into
// the local database, and Cancel at each stage, which leaves the previous database byte for byte
// as it was and searchable.
#include "kladrsample.h"
#include "mainwindow.h"
#include "threaddatabasecreate.h"
#include "windowfixture.h"

#include <QAction>
#include <QComboBox>
#include <QCryptographicHash>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray digest(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
        ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
        : QByteArray();
}

} // namespace

class TestImportAction : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void actionIsInTheMenu();
    void importedDatabaseIsSearched();
    void cancelLeavesTheDatabase_data();
    void cancelLeavesTheDatabase();

private:
    template <typename T> T* child(const char* name) const
    {
        return WindowFixture::child<T>(m_pWindow, name);
    }
    // The log line `back` lines before the last one.
    QString lastLogText(int back = 0) const;
    // Imports from the classifier's folder and waits for the end.
    void importFolder();
    void searchMoscowShowsRows();
    QString database() const { return g_LocalDbDir + QStringLiteral("/KLADR.sqlite"); }

    QTemporaryDir m_Classifier;
    QString m_Archive;
    QTemporaryDir* m_pAppDir = nullptr;
    MainWindow* m_pWindow = nullptr;
};

void TestImportAction::initTestCase()
{
    QFile socrbase(QStringLiteral(VELMORA_SOCRBASE_DBF));
    QVERIFY(socrbase.open(QIODevice::ReadOnly));
    KladrSample::Options options;
    options.scale = 0.002;
    QString error;
    QVERIFY2(KladrSample::writeSample(m_Classifier.path(), socrbase.readAll(), options, nullptr, &error),
        qPrintable(error));
    const QString sevenZip = QStandardPaths::findExecutable(QStringLiteral("7zz"));
    QVERIFY2(!sevenZip.isEmpty(), "7zz (Debian package 7zip) is needed to make the test archive");
    m_Archive = m_Classifier.filePath(QStringLiteral("base.7z"));
    QProcess zip;
    zip.setWorkingDirectory(m_Classifier.filePath(QStringLiteral("BASE")));
    zip.start(sevenZip, { QStringLiteral("a"), QStringLiteral("-bd"), m_Archive, QStringLiteral(".") });
    QVERIFY(zip.waitForFinished(60000));
    QCOMPARE(zip.exitCode(), 0);
}

void TestImportAction::init()
{
    m_pAppDir = new QTemporaryDir;
    QVERIFY(m_pAppDir->isValid());
    g_AppDir = m_pAppDir->path();
    g_LocalDbDir = g_AppDir;
    m_pWindow = new MainWindow;
    m_pWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pWindow));
}

void TestImportAction::cleanup()
{
    delete m_pWindow;
    m_pWindow = nullptr;
    delete m_pAppDir;
    m_pAppDir = nullptr;
}

QString TestImportAction::lastLogText(int back) const
{
    auto* status = child<QComboBox>("status");
    return status->itemText(status->count() - 1 - back).mid(14);
}

void TestImportAction::importFolder()
{
    QSignalSpy created(m_pWindow->importThread(), &ThreadDataBaseCreate::signalDataBaseCreated);
    m_pWindow->importClassifier(m_Classifier.filePath(QStringLiteral("BASE")));
    QVERIFY(!child<QPushButton>("pbCancelImport")->isHidden());
    QVERIFY(!child<QAction>("actImportClassifier")->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(created.size(), 1, 60000);
    QCOMPARE(created.at(0).at(0).toBool(), true);
    QTRY_VERIFY(child<QAction>("actImportClassifier")->isEnabled());
    QVERIFY(child<QPushButton>("pbCancelImport")->isHidden());
    QVERIFY(m_pWindow->isDataBaseReady());
}

void TestImportAction::searchMoscowShowsRows()
{
    child<QLineEdit>("leFourthLevel")->setText(QStringLiteral("Москва"));
    QTest::keyClick(child<QLineEdit>("leFourthLevel"), Qt::Key_Return);
    // The outcome, then the line of how many were found.
    QTRY_VERIFY_WITH_TIMEOUT(lastLogText(1) == QStringLiteral("Запрос успешно выполнен"), 60000);
    QVERIFY(child<QTableView>("tResults")->model()->rowCount() > 0);
}

void TestImportAction::actionIsInTheMenu()
{
    auto* action = child<QAction>("actImportClassifier");
    QCOMPARE(action->text(), QStringLiteral("Импортировать классификатор…"));
    QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_I));
    bool inMenu = false;
    for (QAction* menu : m_pWindow->menuBar()->actions())
        inMenu = inMenu || (menu->menu() && menu->menu()->actions().contains(action));
    QVERIFY(inMenu);
    QVERIFY(child<QPushButton>("pbCancelImport")->isHidden());
}

// No BASE/ beside the database: the import from the user's folder builds it, and the search runs
// on it at once, without a check-and-create run.
void TestImportAction::importedDatabaseIsSearched()
{
    importFolder();
    QVERIFY(QFile::exists(database()));
    QVERIFY(!QFile::exists(g_LocalDbDir + QStringLiteral("/BASE")));
    searchMoscowShowsRows();
}

void TestImportAction::cancelLeavesTheDatabase_data()
{
    QTest::addColumn<QString>("caption");
    QTest::newRow("dictionary") << "Обработка таблицы SOCRBASE. Шаг 1 из 11. ";
    QTest::newRow("STREET") << "Создание таблицы STREET. Шаг 3 из 11. ";
    QTest::newRow("indexes") << "Создание индексов... Шаг 8 из 11. ";
}

// The import thread waits at the caption until Cancel has been clicked in the window.
void TestImportAction::cancelLeavesTheDatabase()
{
    QFETCH(QString, caption);
    importFolder();
    const QByteArray before = digest(database());
    QVERIFY(!before.isEmpty());

    ThreadDataBaseCreate* thread = m_pWindow->importThread();
    QSemaphore clicked;
    auto* cancel = child<QPushButton>("pbCancelImport");
    const QMetaObject::Connection stop = connect(
        thread, &ThreadDataBaseCreate::signalUpdateText, thread,
        [&](const QString& text) {
            if (text != caption)
                return;
            QMetaObject::invokeMethod(
                cancel, [cancel] { QTest::mouseClick(cancel, Qt::LeftButton); }, Qt::QueuedConnection);
            clicked.acquire();
        },
        Qt::DirectConnection);
    connect(cancel, &QPushButton::clicked, this, [&clicked] { clicked.release(); });
    QSignalSpy created(thread, &ThreadDataBaseCreate::signalDataBaseCreated);
    m_pWindow->importClassifier(m_Archive);
    QTRY_COMPARE_WITH_TIMEOUT(created.size(), 1, 60000);
    disconnect(stop);
    QCOMPARE(created.at(0).at(0).toBool(), false);
    QVERIFY(thread->lastRunReport().cancelled);
    QTRY_VERIFY(child<QAction>("actImportClassifier")->isEnabled());
    QVERIFY(cancel->isHidden());

    QCOMPARE(digest(database()), before);
    QCOMPARE(QDir(g_LocalDbDir).entryList({ QStringLiteral("KLADR.sqlite*") }, QDir::Files),
        QStringList { "KLADR.sqlite" });
    QVERIFY(m_pWindow->isDataBaseReady());
    searchMoscowShowsRows();
}

QTEST_MAIN(TestImportAction)
#include "tst_importaction.moc"
