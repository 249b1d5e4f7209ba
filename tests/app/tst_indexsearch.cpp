// SPDX-License-Identifier: GPL-3.0-or-later
// The window's index row, offscreen: the row itself, Enter, a refused index, the office line and
// the address column of a search by postal index.

#include "windowfixture.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using WindowFixture::writeTable;

namespace {

const QString Success = QStringLiteral("Запрос успешно выполнен");
const QString ImportStart = QStringLiteral("Начало проверки и/или создания базы данных.");

} // namespace

class TestIndexSearchWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_Dir.isValid());
        const QString base = WindowFixture::useAsAppDir(m_Dir);
        QVERIFY(!base.isEmpty());
        using KladrSample::Table;
        QVERIFY(writeTable(base + "/KLADR.DBF", KladrSample::fields(Table::Kladr),
            { { "Московская", "обл", "5000000000000", "" }, { "Ленинский", "р-н", "5002700000000", "" },
                { "Видное", "г", "5002700100000", "142700" } }));
        QVERIFY(writeTable(base + "/STREET.DBF", KladrSample::fields(Table::Street),
            { { "Лесная", "ул", "50027001000000100", "142700" },
                { "Садовая", "ул", "50027001000000200", "142710" } }));
        QVERIFY(writeTable(base + "/DOMA.DBF", KladrSample::fields(Table::Doma),
            { { "1-9", "", "ДОМ", "5002700100000020001", "142700" },
                { "12А", "", "ДОМ", "5002700100000020002", "142710" } }));
        QVERIFY(writeTable(base + "/pindx26.dbf", KladrSample::postOfficeFields(),
            { { "142700", "Видное", "ГОПС", "142000", "Московская область", "", "Ленинский район",
                "Видное" } }));

        m_pWindow = new MainWindow;
        m_pWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pWindow));
    }

    void cleanupTestCase()
    {
        delete m_pWindow;
        m_pWindow = nullptr;
    }

    // Below "Дом", usable on its own: no other row needs to be ticked.
    void rowStandsOnItsOwn()
    {
        auto* params = child<QWidget>("gbFindParams")->layout();
        auto* houseRow = m_pWindow->findChild<QLayout*>(QStringLiteral("hlHouseLevel"));
        auto* indexRow = m_pWindow->findChild<QLayout*>(QStringLiteral("hlIndexLevel"));
        QVERIFY(houseRow && indexRow);
        QCOMPARE(params->indexOf(indexRow), params->indexOf(houseRow) + 1);
        auto* box = child<QCheckBox>("cbIndexLevel");
        QCOMPARE(box->text(), QStringLiteral("Индекс"));
        QVERIFY(box->isEnabled());
        QVERIFY(!child<QLineEdit>("leIndexLevel")->isEnabled());
        child<QCheckBox>("cbFourthLevel")->setChecked(false);
        child<QCheckBox>("cbFifthLevel")->setChecked(false);
        box->setChecked(true);
        QVERIFY(child<QLineEdit>("leIndexLevel")->isEnabled());
        QVERIFY(!child<QWidget>("clbDoFind")->isEnabled());
        child<QLineEdit>("leIndexLevel")->setText(QStringLiteral("142700"));
        QVERIFY(child<QWidget>("clbDoFind")->isEnabled());
    }

    // A refused index says why in one line and searches nothing, not even the first import.
    void refusedIndexSearchesNothing()
    {
        const int before = logLines().size();
        enter(QStringLiteral("14270"));
        QCOMPARE(logLines().mid(before),
            QStringList { "Индекс «14270» не принят: в почтовом индексе шесть цифр, а здесь 5." });
        QVERIFY(!m_pWindow->isDataBaseReady());
        QCOMPARE(child<QTableView>("tResults")->model()->rowCount(), 0);
    }

    // Enter searches: the office first, then the rows, each with its address.
    void enterSearchesWithOfficeAndAddresses()
    {
        const int before = logLines().size();
        enter(QStringLiteral(" 142 700 "));
        QTRY_VERIFY_WITH_TIMEOUT(logLines().mid(before).contains(Success), 120000);
        const QStringList added = logLines().mid(before);
        QCOMPARE(added.count(ImportStart), 1);
        const QString office
            = QStringLiteral("Отделение почтовой связи 142700: Видное (ГОПС); Видное, Ленинский "
                             "район, Московская область; подчинено отделению 142000.");
        QVERIFY2(added.contains(office), qPrintable(added.join(QLatin1Char('\n'))));
        QVERIFY(added.indexOf(office) < added.indexOf(Success));

        const QAbstractItemModel* model = child<QTableView>("tResults")->model();
        QVERIFY(model);
        QCOMPARE(model->columnCount(), 7);
        QStringList rows;
        for (int r = 0; r < model->rowCount(); ++r)
            rows << model->index(r, 3).data().toString() + QLatin1Char('|')
                    + model->index(r, 5).data().toString() + QLatin1Char('|')
                    + model->index(r, 6).data().toString();
        QCOMPARE(rows,
            QStringList({ "||142700,Московская обл,Ленинский р-н.,г.Видное",
                "Лесная|---|142700,Московская обл,Ленинский р-н.,г.Видное,ул.Лесная",
                "Садовая|1-9|142700,Московская обл,Ленинский р-н.,г.Видное,ул.Садовая" }));

        // With the street row ticked beside it, only what also matches the street.
        child<QCheckBox>("cbFifthLevel")->setChecked(true);
        child<QLineEdit>("leFifthLevel")->setText(QStringLiteral("Сад%"));
        const int again = logLines().size();
        enter(QStringLiteral("142700"));
        QTRY_VERIFY_WITH_TIMEOUT(logLines().mid(again).contains(Success), 120000);
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(model->index(0, 3).data().toString(), QStringLiteral("Садовая"));
    }

private:
    template <typename T> T* child(const char* name) const
    {
        return WindowFixture::child<T>(m_pWindow, name);
    }

    QStringList logLines() const
    {
        const auto* status = child<QComboBox>("status");
        QStringList lines;
        for (int i = 0; i < status->count(); ++i)
            lines << status->itemText(i).mid(QStringLiteral("hh:mm:ss.zzz: ").size());
        return lines;
    }

    void enter(const QString& index)
    {
        auto* edit = child<QLineEdit>("leIndexLevel");
        QTRY_VERIFY(edit->isEnabled());
        edit->setText(index);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    QTemporaryDir m_Dir;
    MainWindow* m_pWindow = nullptr;
};

QTEST_MAIN(TestIndexSearchWindow)
#include "tst_indexsearch.moc"
