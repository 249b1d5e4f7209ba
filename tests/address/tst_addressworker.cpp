// SPDX-License-Identifier: GPL-3.0-or-later
// The window's address worker: one thread and one resolver kept from job to job, a new one for
// a database file replaced meanwhile, a file job cancelled or cut short by the worker's end.

#include "addressworker.h"
#include "searchtestdatabase.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

// A classifier of one street whose house group carries this index.
void writeDatabase(const QString& fileName, const QString& index)
{
    SearchTestDatabase db(fileName);
    db.addLocality("Тула", "г", "Город", "71000001000", "300000");
    db.addStreet("Ленина", "ул", "Улица", "710000010000001", "300001");
    db.addHouses("91к1,92", "710000010000001", index);
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    db.close();
}

QStringList resolverConnections()
{
    return QSqlDatabase::connectionNames().filter(QStringLiteral("velmora-resolver-"));
}

} // namespace

class TestAddressWorker : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void followsTheFile();
    void cancelAndEnd_data();
    void cancelAndEnd();

private:
    // The index the worker gives for the line, waiting for its answer.
    QString resolved(AddressWorker& worker, const QString& line);

    QTemporaryDir m_Dir;
    QString m_Database;
};

void TestAddressWorker::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    m_Database = m_Dir.filePath("KLADR.sqlite");
    writeDatabase(m_Database, "300092");
}

QString TestAddressWorker::resolved(AddressWorker& worker, const QString& line)
{
    QSignalSpy answered(&worker, &AddressWorker::signalLineResolved);
    // The answer may come before the wait begins.
    if (!worker.resolveLine(m_Database, line) || (answered.isEmpty() && !answered.wait(20000)))
        return QStringLiteral("no answer");
    return answered.first().at(1).value<AddressAnswer>().index;
}

void TestAddressWorker::followsTheFile()
{
    AddressWorker worker;
    QCOMPARE(resolved(worker, "Тула, Ленина, 92"), QStringLiteral("300092"));
    const QStringList first = resolverConnections();
    QCOMPARE(first.size(), 1);
    // The second line on the same thread and resolver.
    QCOMPARE(resolved(worker, "Тула, Ленина"), QStringLiteral("300001"));
    QVERIFY(worker.isRunning());
    QCOMPARE(resolverConnections(), first);

    // Another database renamed over the file, as an update installs one.
    const QString other = m_Dir.filePath("new.sqlite");
    writeDatabase(other, "300500");
    QCOMPARE(std::rename(QFile::encodeName(other).constData(), QFile::encodeName(m_Database).constData()), 0);
    QCOMPARE(resolved(worker, "Тула, Ленина, 92"), QStringLiteral("300500"));
    QCOMPARE(resolverConnections().size(), 1);
    QVERIFY(resolverConnections() != first);
}

void TestAddressWorker::cancelAndEnd_data()
{
    QTest::addColumn<bool>("bDestroy");
    QTest::newRow("cancel") << false;
    QTest::newRow("worker destroyed") << true;
}

void TestAddressWorker::cancelAndEnd()
{
    QFETCH(bool, bDestroy);
    const QString input = m_Dir.filePath("list.csv");
    const QString output = m_Dir.filePath("list-out.csv");
    QFile file(input);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("Адрес\n") + QString("Тула, Ленина, 92\n").toUtf8().repeated(200000));
    file.close();

    auto worker = std::make_unique<AddressWorker>();
    QSignalSpy finished(worker.get(), &AddressWorker::signalFileFinished);
    AddressFile::Options options;
    options.input = input;
    options.output = output;
    QVERIFY(worker->resolveFile(m_Database, options));
    QVERIFY(!worker->resolveLine(m_Database, "Тула"));
    if (bDestroy) {
        worker.reset();
    } else {
        worker->cancel();
        QVERIFY(!finished.isEmpty() || finished.wait(20000));
        QCOMPARE(finished.first().at(0).toBool(), false);
        QCOMPARE(finished.first().at(1).toString(), QStringLiteral("отменено"));
        // Still there for the next job.
        QCOMPARE(resolved(*worker, "Тула, Ленина"), QStringLiteral("300001"));
    }
    QVERIFY(!QFile::exists(output));
}

QTEST_GUILESS_MAIN(TestAddressWorker)
#include "tst_addressworker.moc"
