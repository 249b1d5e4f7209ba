// SPDX-License-Identifier: GPL-3.0-or-later
// The window's one-line address field and its file action, offscreen, on a few rows by hand.

#include "addresslinepanel.h"
#include "searchtestdatabase.h"

#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestAddressLinePanel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void enterResolves_data();
    void enterResolves();
    void fileInTheLog();

private:
    QTemporaryDir m_Dir;
    QString m_Database;
    QStringList m_Log;
};

void TestAddressLinePanel::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    m_Database = m_Dir.filePath("KLADR.sqlite");
    SearchTestDatabase db(m_Database);
    db.addLocality("Тула", "г", "Город", "71000001000", "300000");
    db.addStreet("Ленина", "ул", "Улица", "710000010000001", "300001");
    db.addHouses("91к1,92", "710000010000001", "300091");
    db.addLocality("Ивановка", "с", "Село", "71002000001", "301001");
    db.addLocality("Ивановка", "с", "Село", "71003000001", "301002");
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    db.close();
}

void TestAddressLinePanel::cleanup()
{
    // The line edit's clear button fades through an animation that deletes itself later; a
    // panel gone while it ran leaves it to the deferred deletes, which no later loop would run.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestAddressLinePanel::enterResolves_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("indexes");
    QTest::addColumn<QString>("grade");
    QTest::addColumn<QString>("said"); // in the address column or the log

    QTest::newRow("house") << "г Тула, ул Ленина, д. 91, корп. 1" << QStringList { "300091" } << "дом"
                           << "300091,г.Тула,ул.Ленина,д.91к1";
    QTest::newRow("two candidates") << "Ивановка" << QStringList { "301001", "301002" } << "пункт"
                                    << "неоднозначен";
    QTest::newRow("refused") << "Тула, Ленина, 12 1" << QStringList { "" } << "не найден"
                             << "две группы цифр";
}

void TestAddressLinePanel::enterResolves()
{
    QFETCH(QString, line);
    QFETCH(QStringList, indexes);
    QFETCH(QString, grade);
    QFETCH(QString, said);

    m_Log.clear();
    AddressLinePanel panel([this] { return m_Database; }, [this](const QString& text) { m_Log << text; });
    panel.show();
    QSignalSpy ready(&panel, &AddressLinePanel::signalResultReady);
    auto* field = panel.findChild<QLineEdit*>(QStringLiteral("leAddressLine"));
    QVERIFY(field);
    field->setText(line);
    QTest::keyClick(field, Qt::Key_Return);
    QVERIFY(ready.wait(20000));

    QAbstractItemModel* model = panel.model();
    QStringList shown;
    for (int row = 0; row < model->rowCount(); ++row) {
        shown << model->index(row, 0).data().toString();
        QCOMPARE(model->index(row, 1).data().toString(), grade);
    }
    QCOMPARE(shown, indexes);
    const QString text = m_Log.join('\n') + '\n' + model->index(0, 2).data().toString();
    QVERIFY2(text.contains(said), qPrintable(text));
    QVERIFY(field->isEnabled());
}

void TestAddressLinePanel::fileInTheLog()
{
    const QString input = m_Dir.filePath("list.csv");
    QFile file(input);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QString("Адрес\nТула, Ленина, 92\nИвановка\nТула, Пушкина\n").toUtf8());
    file.close();

    m_Log.clear();
    AddressLinePanel panel([this] { return m_Database; }, [this](const QString& text) { m_Log << text; });
    QSignalSpy finished(&panel, &AddressLinePanel::signalFileFinished);
    panel.processFile(input);
    QVERIFY(panel.isBusy() || finished.count() == 1);
    QVERIFY(finished.count() == 1 || finished.wait(20000));
    QCOMPARE(finished.first().first().toBool(), true);
    QVERIFY2(m_Log.last().contains(QStringLiteral("Строк 3: дом 1, неоднозначно 1, не найден 1")),
        qPrintable(m_Log.join('\n')));
    QVERIFY(QFile::exists(m_Dir.filePath("list-индексы.csv")));
    QVERIFY(!panel.findChild<QProgressBar*>(QStringLiteral("pbAddressFileProgress"))->isVisible());
}

QTEST_MAIN(TestAddressLinePanel)
#include "tst_addressline.moc"
