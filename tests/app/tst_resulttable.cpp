// SPDX-License-Identifier: GPL-3.0-or-later
// The result table as a user meets it, offscreen at the window's opening size: the address of
// every row in sight and whole, the ways to copy, no rows of an earlier search, the keyboard
// back in the field searched from, and what the window remembers.

#include "threaddatabasefind.h"
#include "windowfixture.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

using WindowFixture::writeTable;

namespace {

const QString Success = QStringLiteral("Запрос успешно выполнен");
const QString Region = QStringLiteral("Московская обл,Ленинский р-н.,");
// A long region name, as the classifier has it.
const QString FarRegion = QStringLiteral("Ханты-Мансийский Автономный округ - Югра АО,Нижневартовский р-н.,");
// As long as the classifier's field holds.
const QString LongHouses = QStringLiteral("1-9,11,12к1,12к2,14,16,18,20,22,24,26,28");

} // namespace

class TestResultTable : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void opensAtItsSize();
    void addressInSight_data();
    void addressInSight();
    void cutHouseListShowsItsTextAsToolTip();
    void widerWindowShowsEverythingWhole();
    void copy_data();
    void copy();
    void noStaleRows_data();
    void noStaleRows();
    void focusReturnsToTheField_data();
    void focusReturnsToTheField();
    void statusShowsTheWholeLine();
    // Last: it closes the window and opens another.
    void layoutIsRememberedPerUser();

private:
    template <typename T> T* child(const char* name) const
    {
        return WindowFixture::child<T>(m_pWindow, name);
    }
    // The log line `back` lines before the last one.
    QString lastLog(int back = 0) const;
    // As a user: the level rows ticked and filled, Enter in `enter` (the last filled field when
    // empty); returns when the search has ended.
    void search(const QString& locality, const QString& street, const QString& house = QString(),
        const char* enter = nullptr);
    QTableView* table() const { return child<QTableView>("tResults"); }
    QString address(int row) const;
    QString rowText(int row) const;

    QTemporaryDir m_Dir;
    MainWindow* m_pWindow = nullptr;
};

void TestResultTable::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    // The window's own settings go to the test's directory, not to the user's.
    const QString base = WindowFixture::useAsAppDir(m_Dir);
    QVERIFY(!base.isEmpty());

    QList<QStringList> kladr {
        { "Московская", "обл", "5000000000000", "" },
        { "Ленинский", "р-н", "5002700000000", "" },
        { "Видное", "г", "5002700100000", "142700" },
        { "Ханты-Мансийский Автономный округ - Югра", "АО", "8600000000000", "" },
        { "Нижневартовский", "р-н", "8600700000000", "" },
        { "Излучинск", "пгт", "8600700200000", "628634" },
    };
    // More than the table shows, so it scrolls.
    for (int i = 1; i <= 120; ++i)
        kladr << QStringList { "Ивановка", "д",
            QStringLiteral("50027%1").arg(i + 100, 6, 10, QLatin1Char('0')) + "00",
            QString::number(142800 + i) };
    QVERIFY(writeTable(base + "/KLADR.DBF", KladrSample::Table::Kladr, kladr));
    QVERIFY(writeTable(base + "/STREET.DBF", KladrSample::Table::Street,
        { { "Садовая", "ул", "50027001000000200", "142710" },
            { "Садовая", "ул", "50027000101000200", "142801" },
            { "Набережная", "ул", "86007002000000100", "628634" } }));
    QVERIFY(writeTable(base + "/DOMA.DBF", KladrSample::Table::Doma,
        { { "Н(1-15),Ч(2-20),12к1", "", "ДОМ", "5002700100000020001", "142711" },
            { LongHouses, "", "ДОМ", "5002700100000020002", "142712" },
            { "12к1", "", "ДОМ", "8600700200000010001", "628634" } }));

    m_pWindow = new MainWindow;
    m_pWindow->show();
    QVERIFY(QTest::qWaitForWindowActive(m_pWindow));
}

void TestResultTable::cleanupTestCase()
{
    delete m_pWindow;
    m_pWindow = nullptr;
}

QString TestResultTable::lastLog(int back) const
{
    const auto* status = child<QComboBox>("status");
    return status->itemText(status->count() - 1 - back).mid(QStringLiteral("hh:mm:ss.zzz: ").size());
}

void TestResultTable::search(
    const QString& locality, const QString& street, const QString& house, const char* enter)
{
    child<QCheckBox>("cbFourthLevel")->setChecked(!locality.isEmpty() || street.isEmpty());
    child<QCheckBox>("cbFifthLevel")->setChecked(!street.isEmpty());
    child<QCheckBox>("cbHouseLevel")->setChecked(!house.isEmpty());
    child<QLineEdit>("leFourthLevel")->setText(locality);
    child<QLineEdit>("leFifthLevel")->setText(street);
    child<QLineEdit>("leHouseLevel")->setText(house);
    const char* field = enter ? enter
        : !house.isEmpty()    ? "leHouseLevel"
        : !street.isEmpty()   ? "leFifthLevel"
                              : "leFourthLevel";
    auto* status = child<QComboBox>("status");
    const int before = status->count();
    QTest::keyClick(child<QLineEdit>(field), Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (int i = before; i < status->count(); ++i) {
                const QString line = status->itemText(i).mid(14);
                if (line == Success || line.startsWith("Ошибка") || line.startsWith("Поиск не выполнен"))
                    return true;
            }
            return false;
        }(),
        120000);
    QTRY_VERIFY(!m_pWindow->searchThread()->isBusy());
    QTRY_VERIFY(child<QWidget>("frame")->isHidden());
}

QString TestResultTable::address(int row) const
{
    const QAbstractItemModel* model = table()->model();
    return model->index(row, model->columnCount() - 1).data().toString();
}

QString TestResultTable::rowText(int row) const
{
    const QAbstractItemModel* model = table()->model();
    QStringList cells;
    for (int column = 0; column < model->columnCount(); ++column)
        cells << model->index(row, column).data().toString();
    return cells.join(QLatin1Char('\t'));
}

void TestResultTable::opensAtItsSize()
{
    // No size remembered yet: the window's own.
    QCOMPARE(m_pWindow->size(), QSize(561, 546));
}

void TestResultTable::addressInSight_data()
{
    QTest::addColumn<int>("pointSize"); // 0: the platform's font
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<QString>("house");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("maxLines");

    // At a desktop's usual 9 points the address takes at most three lines; at the 12 points of
    // the offscreen platform, beside up to six columns, it may take more, but stays in sight.
    const struct {
        const char* name;
        int pointSize;
        int maxLines;
    } fonts[] = { { "9 pt", 9, 3 }, { "platform font", 0, 99 } };
    for (const auto& font : fonts) {
        auto row = [&font](const char* kind) -> QTestData& {
            return QTest::addRow("%s, %s", kind, font.name) << font.pointSize;
        };
        row("locality, a hundred rows") << "Ивановка"
                                        << ""
                                        << "" << 100 << font.maxLines;
        row("street") << ""
                      << "Садовая"
                      << "" << 2 << font.maxLines;
        row("house") << "Видное"
                     << "Садовая"
                     << "12 корп. 1" << 2 << font.maxLines;
        // Longer than three lines hold beside six columns at this size: more lines, still whole.
        row("house in a long region") << "Излучинск"
                                      << "Набережная"
                                      << "12к1" << 1 << 99;
    }
}

void TestResultTable::addressInSight()
{
    QFETCH(int, pointSize);
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(QString, house);
    QFETCH(int, rows);
    QFETCH(int, maxLines);

    const QFont platformFont = QApplication::font();
    const auto restoreFont = qScopeGuard([&platformFont] { QApplication::setFont(platformFont); });
    if (pointSize > 0) {
        QFont font = platformFont;
        font.setPointSize(pointSize);
        QApplication::setFont(font);
    }
    m_pWindow->resize(561, 546);
    search(locality, street, house);
    QCOMPARE(lastLog(1), Success);
    QTableView* view = table();
    QCOMPARE(view->model()->rowCount(), rows);
    const int column = view->model()->columnCount() - 1;
    QCOMPARE(view->model()->headerData(column, Qt::Horizontal).toString(), QStringLiteral("Почтовый адрес"));

    // No sideways scrolling, and every row's address cell inside the view, tall enough for its
    // whole wrapped text. The view lays itself out again once its scroll bar shows: wait for that.
    auto needed = [view, column](int row) {
        // As the view asks its delegate: the column's width, less the grid line.
        QStyleOptionViewItem option;
        option.initFrom(view);
        option.font = view->font();
        option.fontMetrics = view->fontMetrics();
        option.features = QStyleOptionViewItem::WrapText;
        option.rect = QRect(0, 0, view->columnWidth(column) - 1, view->rowHeight(row));
        return view->itemDelegate()->sizeHint(option, view->model()->index(row, column)).height();
    };
    auto firstProblem = [view, rows, column, &needed]() -> QString {
        const QRect viewport = view->viewport()->rect();
        for (int row = 0; row < rows; ++row) {
            const QRect cell = view->visualRect(view->model()->index(row, column));
            if (cell.left() < viewport.left() || cell.right() > viewport.right())
                return QStringLiteral("row %1: %2..%3 in 0..%4")
                    .arg(row)
                    .arg(cell.left())
                    .arg(cell.right())
                    .arg(viewport.right());
            if (view->rowHeight(row) < needed(row))
                return QStringLiteral("row %1: %2 px high for %3")
                    .arg(row)
                    .arg(view->rowHeight(row))
                    .arg(needed(row));
        }
        return QString();
    };
    QTRY_COMPARE(firstProblem(), QString());
    QCOMPARE(view->horizontalScrollBar()->maximum(), 0);
    // One line is as tall as a line of the other columns; wrapped, at most maxLines lines.
    const int lineSpacing = view->fontMetrics().lineSpacing();
    for (int row = 0; row < rows; ++row) {
        QVERIFY2(needed(row) < (maxLines + 1) * lineSpacing,
            qPrintable(QStringLiteral("row %1: %2 px for %3").arg(row).arg(needed(row)).arg(address(row))));
    }
    // The other columns keep some room: none shrunk to nothing.
    for (int other = 0; other < column; ++other)
        QVERIFY(view->columnWidth(other) >= view->fontMetrics().horizontalAdvance(QStringLiteral("00…")));
}

void TestResultTable::cutHouseListShowsItsTextAsToolTip()
{
    m_pWindow->resize(561, 546);
    search("Видное", "Садовая", "12 корп. 1");
    QTableView* view = table();
    int row = 0;
    while (row < view->model()->rowCount() && view->model()->index(row, 5).data().toString() != LongHouses)
        ++row;
    QVERIFY(row < view->model()->rowCount());
    QVERIFY(view->columnWidth(5) < view->fontMetrics().horizontalAdvance(LongHouses));

    auto toolTipAt = [view](const QModelIndex& index) {
        const QPoint centre = view->visualRect(index).center();
        QHelpEvent help(QEvent::ToolTip, centre, view->viewport()->mapToGlobal(centre));
        QApplication::sendEvent(view->viewport(), &help);
    };
    toolTipAt(view->model()->index(row, 5));
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), LongHouses);
    // The address, never cut, has none.
    toolTipAt(view->model()->index(row, 6));
    QTRY_VERIFY_WITH_TIMEOUT(!QToolTip::isVisible(), 15000);
}

void TestResultTable::widerWindowShowsEverythingWhole()
{
    search("Видное", "Садовая", "12 корп. 1");
    // Widened (or maximised) after the search: the columns follow.
    m_pWindow->resize(2200, 600);
    QTRY_COMPARE(m_pWindow->width(), 2200);
    QTableView* view = table();
    const QAbstractItemModel* model = view->model();
    const int last = model->columnCount() - 1;
    QTRY_VERIFY(view->columnWidth(last) >= view->fontMetrics().horizontalAdvance(address(0)));
    for (int column = 0; column < last; ++column) {
        QVERIFY(view->columnWidth(column) >= view->horizontalHeader()->sectionSizeHint(column));
        for (int row = 0; row < model->rowCount(); ++row) {
            QVERIFY(view->columnWidth(column)
                > view->fontMetrics().horizontalAdvance(model->index(row, column).data().toString()));
        }
    }
    for (int row = 0; row < model->rowCount(); ++row)
        QTRY_VERIFY(view->rowHeight(row) < 2 * view->fontMetrics().lineSpacing());
    m_pWindow->resize(561, 546);
}

void TestResultTable::copy_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QList<int>>("selected"); // in the order clicked
    QTest::addColumn<QList<int>>("copied"); // rows, in the order expected
    QTest::addColumn<bool>("wholeRows");

    QTest::newRow("Ctrl+C, one row") << "ctrl+c" << QList<int> { 3 } << QList<int> { 3 } << false;
    QTest::newRow("Ctrl+C, rows in table order")
        << "ctrl+c" << QList<int> { 7, 2, 5 } << QList<int> { 2, 5, 7 } << false;
    QTest::newRow("menu: address") << "Копировать адрес" << QList<int> { 4 } << QList<int> { 4 } << false;
    QTest::newRow("menu: addresses") << "Копировать адрес" << QList<int> { 1, 0 } << QList<int> { 0, 1 }
                                     << false;
    QTest::newRow("menu: row") << "Копировать строку" << QList<int> { 6 } << QList<int> { 6 } << true;
    QTest::newRow("menu: rows") << "Копировать строку" << QList<int> { 9, 8 } << QList<int> { 8, 9 } << true;
    QTest::newRow("double-click") << "double-click" << QList<int> { 5 } << QList<int> { 5 } << false;
}

void TestResultTable::copy()
{
    QFETCH(QString, how);
    QFETCH(QList<int>, selected);
    QFETCH(QList<int>, copied);
    QFETCH(bool, wholeRows);

    search("Ивановка", "");
    QTableView* view = table();
    QGuiApplication::clipboard()->clear();
    view->setFocus();
    // Clicked as a user would: the first row, then the others with Ctrl.
    for (int i = 0; i < selected.size(); ++i) {
        const QModelIndex index = view->model()->index(selected.at(i), 0);
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, i == 0 ? Qt::NoModifier : Qt::ControlModifier,
            view->visualRect(index).center());
    }

    if (how == "ctrl+c") {
        QTest::keySequence(view, QKeySequence::Copy);
    } else if (how == "double-click") {
        // The second click of a double-click, on the cell just clicked.
        const QRect cell = view->visualRect(view->model()->index(selected.first(), 0));
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    } else {
        QAction* action = nullptr;
        for (QAction* candidate : view->actions()) {
            if (candidate->text() == how)
                action = candidate;
        }
        QVERIFY(action);
        QCOMPARE(view->contextMenuPolicy(), Qt::ActionsContextMenu);
        action->trigger();
    }

    QStringList lines;
    for (int row : copied)
        lines << (wholeRows ? rowText(row) : address(row));
    QCOMPARE(QGuiApplication::clipboard()->text(), lines.join('\n'));
    // One log line says what went.
    const QString log = lastLog();
    if (copied.size() == 1 && !wholeRows)
        QCOMPARE(log, QStringLiteral("Адрес скопирован в буфер обмена: ") + address(copied.first()));
    else if (copied.size() == 1)
        QVERIFY2(log.startsWith(QStringLiteral("Строка скопирована в буфер обмена")), qPrintable(log));
    else
        QVERIFY2(log.contains(QStringLiteral("(строк: %1)").arg(copied.size())), qPrintable(log));
}

void TestResultTable::noStaleRows_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<QString>("house");
    QTest::addColumn<QString>("outcome");

    QTest::newRow("house refused") << "Видное"
                                   << "Садовая"
                                   << "корпус"
                                   << "Поиск не выполнен";
    QTest::newRow("nothing typed") << ""
                                   << ""
                                   << ""
                                   << "Поиск не выполнен";
    QTest::newRow("nothing found") << "Нигде"
                                   << ""
                                   << ""
                                   << "Ничего не найдено";
    QTest::newRow("no house found") << "Видное"
                                    << "Нигдешняя"
                                    << "12"
                                    << "Ничего не найдено";
}

void TestResultTable::noStaleRows()
{
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(QString, house);
    QFETCH(QString, outcome);

    search("Видное", "Садовая", "12 корп. 1");
    QVERIFY(table()->model()->rowCount() > 0);
    search(locality, street, house);
    QVERIFY2(lastLog().startsWith(outcome), qPrintable(lastLog()));
    QCOMPARE(table()->model()->rowCount(), 0);
    // What headers there are stand in the view, the address's whole.
    const QHeaderView* header = table()->horizontalHeader();
    const int last = header->count() - 1;
    if (last >= 0)
        QVERIFY(
            header->sectionPosition(last) + header->sectionSizeHint(last) <= table()->viewport()->width());
    // Nothing to copy: the menu's actions are off, and Ctrl+C leaves the clipboard alone.
    for (QAction* action : table()->actions())
        QVERIFY(!action->isEnabled());
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    table()->setFocus();
    QTest::keySequence(table(), QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
}

void TestResultTable::focusReturnsToTheField_data()
{
    QTest::addColumn<QString>("locality");
    QTest::addColumn<QString>("street");
    QTest::addColumn<QString>("house");
    QTest::addColumn<QString>("field");

    QTest::newRow("locality") << "Ивановка"
                              << ""
                              << ""
                              << "leFourthLevel";
    QTest::newRow("street, Enter in the locality") << "Видное"
                                                   << "Садовая"
                                                   << ""
                                                   << "leFourthLevel";
    QTest::newRow("street") << "Видное"
                            << "Садовая"
                            << ""
                            << "leFifthLevel";
    QTest::newRow("house") << "Видное"
                           << "Садовая"
                           << "12 корп. 1"
                           << "leHouseLevel";
    QTest::newRow("refused house") << "Видное"
                                   << "Садовая"
                                   << "корпус"
                                   << "leHouseLevel";
    QTest::newRow("nothing found") << "Нигде"
                                   << ""
                                   << ""
                                   << "leFourthLevel";
}

void TestResultTable::focusReturnsToTheField()
{
    QFETCH(QString, locality);
    QFETCH(QString, street);
    QFETCH(QString, house);
    QFETCH(QString, field);

    auto* edit = child<QLineEdit>(field.toLatin1().constData());
    search(locality, street, house, field.toLatin1().constData());
    QTRY_COMPARE(QApplication::focusWidget(), edit);
    QCOMPARE(edit->selectedText(), edit->text());

    // Typing replaces the text at once; Tab reaches the table.
    QTest::keyClicks(edit, QStringLiteral("12"));
    QCOMPARE(edit->text(), QStringLiteral("12"));
    for (int i = 0; i < 8 && QApplication::focusWidget() != table(); ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), table());
}

void TestResultTable::statusShowsTheWholeLine()
{
    auto* status = child<QComboBox>("status");
    const QString text = QStringLiteral("Строка длиннее поля журнала: ") + QString(200, QLatin1Char('x'));
    m_pWindow->slotAddState(text, false);
    QVERIFY(status->toolTip().endsWith(text));
    QCOMPARE(status->toolTip(), status->currentText());
    QCOMPARE(status->itemData(status->count() - 1, Qt::ToolTipRole).toString(), status->currentText());
    // An older line chosen from the list shows its own.
    status->setCurrentIndex(0);
    QCOMPARE(status->toolTip(), status->itemText(0));
}

void TestResultTable::layoutIsRememberedPerUser()
{
    search("Видное", "Садовая", "12 корп. 1");
    QHeaderView* header = table()->horizontalHeader();
    // The user widens the street column by hand.
    QTest::mousePress(
        header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(header->sectionPosition(3) + 2, 5));
    header->resizeSection(3, 140);
    QTest::mouseRelease(
        header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(header->sectionPosition(3) + 2, 5));
    m_pWindow->setGeometry(QRect(QPoint(40, 30), QSize(900, 700)));
    QTRY_COMPARE(m_pWindow->size(), QSize(900, 700));
    const QRect geometry = m_pWindow->geometry();

    delete m_pWindow;
    const QString settings = m_Dir.filePath("config/velmora/window.conf");
    QVERIFY2(QFile::exists(settings), qPrintable(settings));
    // Nothing of it beside the program.
    QFile programSettings(m_Dir.filePath("Velmora.ini"));
    if (programSettings.open(QIODevice::ReadOnly))
        QVERIFY(!programSettings.readAll().contains("geometry"));

    m_pWindow = new MainWindow;
    m_pWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pWindow));
    QCOMPARE(m_pWindow->geometry(), geometry);
    search("Видное", "Садовая", "12 корп. 1");
    QCOMPARE(table()->columnWidth(3), 140);
    // A column the user left alone is still sized to its contents.
    QVERIFY(table()->columnWidth(0) != 140);
}

QTEST_MAIN(TestResultTable)
#include "tst_resulttable.moc"
