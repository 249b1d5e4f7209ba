// SPDX-License-Identifier: GPL-3.0-or-later
#include "kladrsample.h"
#include "mainwindow.h"
#include "threaddatabasecreate.h"
#include "windowfixture.h"
#include "workerhost.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCommandLinkButton>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <memory>

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void widgetsAndTexts();
    void startState();
    void typingGatesTheFindButton();
    void clearingTheLevelCheckBox();
    void houseRowFollowsTheStreetRow();
    void maskFlags_data();
    void maskFlags();
    void levelAccessorClamps();
    void logLineFormat();
    void logDecoding_data();
    void logDecoding();
    void workerReportsArriveQueuedInOrder();
    void progressValueThenMaximum();
    void busyAndIdleDisplay();
    void autoCopyGatesCopyButton();
    void enterInEmptyFieldStartsTheCheckOnce();
    void searchRunsAfterTheCheckEvenWhenTheImportEndsLate();
    void completeDatabaseWithoutClassifierIsSearched();

private:
    template <typename T> T* child(const char* name) const
    {
        return WindowFixture::child<T>(m_pWindow, name);
    }
    QString lastLogText() const;
    // A small generated classifier in the local database directory's BASE/.
    void writeSample();
    // Enter on the locality "Москва": the search succeeds and shows rows.
    void searchMoscowShowsRows();

    QTemporaryDir* m_pAppDir = nullptr;
    MainWindow* m_pWindow = nullptr;
};

void TestMainWindow::init()
{
    m_pAppDir = new QTemporaryDir;
    QVERIFY(m_pAppDir->isValid());
    // The window's own settings go to the test's directory, not to the user's.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_pAppDir->filePath("config"));
    g_AppDir = m_pAppDir->path();
    g_LocalDbDir = g_AppDir;
    m_pWindow = new MainWindow;
    m_pWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pWindow));
}

void TestMainWindow::cleanup()
{
    delete m_pWindow;
    m_pWindow = nullptr;
    delete m_pAppDir;
    m_pAppDir = nullptr;
}

QString TestMainWindow::lastLogText() const
{
    auto* status = child<QComboBox>("status");
    // Strip "hh:mm:ss.zzz: ".
    return status->itemText(status->count() - 1).mid(14);
}

// The widgets the window's slots are connected to by name, and the texts the user reads; the
// layouts between them are the designer's business.
void TestMainWindow::widgetsAndTexts()
{
    struct Node {
        const char* name;
        const char* className;
        const char* parent; // parent widget: the group that enables, disables or hides it
        const char* text; // title, text or format; nullptr when none is checked
    };
    // clang-format off
    const Node tree[] = {
        { "centralWidget", "QWidget", "MainWindow", nullptr },
        { "gbFindParams", "QGroupBox", "centralWidget", " Параметры поиска " },
        { "label_2", "QLabel", "gbFindParams", nullptr },
        { "cbFourthLevel", "QCheckBox", "gbFindParams", "Четвертый уровень (населённый пункт)" },
        { "leFourthLevel", "QLineEdit", "gbFindParams", "" },
        { "cbFifthLevel", "QCheckBox", "gbFindParams", "Пятый уровень (улица)" },
        { "leFifthLevel", "QLineEdit", "gbFindParams", "" },
        { "cbHouseLevel", "QCheckBox", "gbFindParams", "Дом" },
        { "leHouseLevel", "QLineEdit", "gbFindParams", "" },
        { "clbDoFind", "QCommandLinkButton", "centralWidget", "Начать поиск" },
        { "gpResults", "QGroupBox", "centralWidget", " Результаты поиска " },
        { "tResults", "QTableView", "gpResults", nullptr },
        { "gbFinalResult", "QGroupBox", "gpResults", " Окончательный результат " },
        { "lProgress", "QLabel", "gbFinalResult", "Прогресс поиска вариантов" },
        { "pbProgress", "QProgressBar", "gbFinalResult", nullptr },
        { "leResult", "QLineEdit", "gbFinalResult", "" },
        { "cbAutoCopy", "QCheckBox", "gbFinalResult", "Автоматическое копирование" },
        { "pbCopy", "QPushButton", "gbFinalResult", "Скопировать в буфер обмена" },
        { "frame", "QFrame", "centralWidget", nullptr },
        { "label", "QLabel", "frame", "Текущая операция" },
        { "progressBar", "QProgressBar", "frame", "Прогресс - %p%" },
        { "line", "QFrame", "centralWidget", nullptr },
        { "status", "QComboBox", "centralWidget", nullptr },
    };
    // clang-format on
    QCOMPARE(m_pWindow->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(m_pWindow->windowTitle(), QStringLiteral("Velmora"));
    // The help wraps rather than widen the window beyond 561 pixels with wider system fonts.
    QVERIFY(m_pWindow->minimumSizeHint().width() <= 561);
    QVERIFY(child<QLabel>("label_2")->wordWrap());
    QVERIFY(!m_pWindow->windowIcon().isNull());

    for (const Node& node : tree) {
        QWidget* object = m_pWindow->findChild<QWidget*>(QLatin1String(node.name));
        QVERIFY2(object, node.name);
        QCOMPARE(object->metaObject()->className(), node.className);
        QWidget* owner = object->parentWidget();
        QVERIFY2(owner, node.name);
        QCOMPARE(owner->objectName(), QString::fromUtf8(node.parent));
        if (!node.text)
            continue;
        QString text;
        if (auto* box = qobject_cast<QGroupBox*>(object))
            text = box->title();
        else if (auto* button = qobject_cast<QAbstractButton*>(object))
            text = button->text();
        else if (auto* label = qobject_cast<QLabel*>(object))
            text = label->text();
        else if (auto* edit = qobject_cast<QLineEdit*>(object))
            text = edit->text();
        else if (auto* bar = qobject_cast<QProgressBar*>(object))
            text = bar->format();
        QCOMPARE(text, QString::fromUtf8(node.text));
    }

    // The help is shown whole above the three rows at the window's first size.
    auto* help = child<QLabel>("label_2");
    QVERIFY2(help->height() >= help->heightForWidth(help->width()),
        qPrintable(QStringLiteral("%1 < %2").arg(help->height()).arg(help->heightForWidth(help->width()))));
    // The appearance the busy timer restores when a search ends.
    auto* bar = child<QProgressBar>("progressBar");
    QVERIFY(bar->isTextVisible());
    QVERIFY(!bar->invertedAppearance());
    QVERIFY(child<QCheckBox>("cbAutoCopy")->isChecked());
    QVERIFY(!child<QProgressBar>("pbProgress")->isEnabled());
    QCOMPARE(child<QProgressBar>("pbProgress")->value(), 0);
}

void TestMainWindow::startState()
{
    // Hidden by the constructor, not by the layout.
    QVERIFY(child<QGroupBox>("gbFinalResult")->isHidden());
    QVERIFY(child<QFrame>("frame")->isHidden());
    QVERIFY(!child<QCommandLinkButton>("clbDoFind")->isHidden());
    QVERIFY(child<QCheckBox>("cbFourthLevel")->isChecked());
    QVERIFY(!child<QCheckBox>("cbFifthLevel")->isChecked());
    QVERIFY(child<QLineEdit>("leFourthLevel")->isEnabled());
    QVERIFY(!child<QLineEdit>("leFifthLevel")->isEnabled());
    QVERIFY(!child<QCheckBox>("cbHouseLevel")->isEnabled());
    QVERIFY(!child<QCheckBox>("cbHouseLevel")->isChecked());
    QVERIFY(!child<QLineEdit>("leHouseLevel")->isEnabled());
    QVERIFY(!child<QCommandLinkButton>("clbDoFind")->isEnabled());
    QCOMPARE(QApplication::focusWidget(), child<QLineEdit>("leFourthLevel"));
    QCOMPARE(m_pWindow->searchParams().levels.size(), 5);
    QVERIFY(!m_pWindow->isDataBaseReady());
}

void TestMainWindow::typingGatesTheFindButton()
{
    auto* find = child<QCommandLinkButton>("clbDoFind");
    auto* locality = child<QLineEdit>("leFourthLevel");
    QTest::keyClick(locality, Qt::Key_M);
    QVERIFY(find->isEnabled());
    QCOMPARE(m_pWindow->searchParams().level(3).text, QStringLiteral("m"));
    QTest::keyClick(locality, Qt::Key_Backspace);
    QVERIFY(!find->isEnabled());

    // The street level counts once ticked.
    child<QCheckBox>("cbFifthLevel")->setChecked(true);
    QVERIFY(child<QLineEdit>("leFifthLevel")->isEnabled());
    QVERIFY(!find->isEnabled());
    child<QLineEdit>("leFifthLevel")->insert(QStringLiteral("Лен%"));
    QVERIFY(find->isEnabled());
    QCOMPARE(m_pWindow->searchParams().level(4).text, QStringLiteral("Лен%"));
}

void TestMainWindow::clearingTheLevelCheckBox()
{
    auto* find = child<QCommandLinkButton>("clbDoFind");
    auto* locality = child<QLineEdit>("leFourthLevel");
    locality->setText(QStringLiteral("Москва"));
    QVERIFY(find->isEnabled());
    child<QCheckBox>("cbFourthLevel")->setChecked(false);
    QVERIFY(!locality->isEnabled());
    QVERIFY(!find->isEnabled());
    // The field keeps its text; only the level entry is emptied.
    QCOMPARE(locality->text(), QStringLiteral("Москва"));
    QVERIFY(m_pWindow->searchParams().level(3).text.isEmpty());

    // A street with text keeps the button enabled on its own.
    child<QCheckBox>("cbFifthLevel")->setChecked(true);
    child<QLineEdit>("leFifthLevel")->setText(QStringLiteral("Ленина"));
    QVERIFY(find->isEnabled());
    child<QCheckBox>("cbFourthLevel")->setChecked(true);
    QCOMPARE(m_pWindow->searchParams().level(3).text, QStringLiteral("Москва"));
}

void TestMainWindow::houseRowFollowsTheStreetRow()
{
    auto* street = child<QCheckBox>("cbFifthLevel");
    auto* houseBox = child<QCheckBox>("cbHouseLevel");
    auto* house = child<QLineEdit>("leHouseLevel");
    auto* find = child<QCommandLinkButton>("clbDoFind");

    street->setChecked(true);
    QVERIFY(houseBox->isEnabled());
    QVERIFY(!houseBox->isChecked());
    QVERIFY(!house->isEnabled());
    child<QLineEdit>("leFifthLevel")->setText(QStringLiteral("Лесная"));

    houseBox->setChecked(true);
    QVERIFY(house->isEnabled());
    QTest::keyClicks(house, QStringLiteral("12"));
    house->insert(QStringLiteral("к1"));
    QCOMPARE(m_pWindow->searchParams().house, QStringLiteral("12к1"));
    // The house is no level of its own: the button follows the level texts alone.
    child<QLineEdit>("leFourthLevel")->clear();
    child<QLineEdit>("leFifthLevel")->clear();
    QVERIFY(!find->isEnabled());
    child<QLineEdit>("leFifthLevel")->setText(QStringLiteral("Лесная"));
    QVERIFY(find->isEnabled());

    // Clearing the street row takes the house row with it; the text stays for later.
    street->setChecked(false);
    QVERIFY(!houseBox->isEnabled());
    QVERIFY(!houseBox->isChecked());
    QVERIFY(!house->isEnabled());
    QCOMPARE(house->text(), QStringLiteral("12к1"));
    QVERIFY(m_pWindow->searchParams().house.isEmpty());

    // Ticking the street again starts the house row clear.
    street->setChecked(true);
    QVERIFY(houseBox->isEnabled());
    QVERIFY(!houseBox->isChecked());
    QVERIFY(!house->isEnabled());
    QVERIFY(m_pWindow->searchParams().house.isEmpty());
    houseBox->setChecked(true);
    QCOMPARE(m_pWindow->searchParams().house, QStringLiteral("12к1"));
    houseBox->setChecked(false);
    QVERIFY(!house->isEnabled());
    QVERIFY(m_pWindow->searchParams().house.isEmpty());
}

void TestMainWindow::maskFlags_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isMask");
    // Which texts are masks is tst_sqltext's; here, that the window passes the flag on.
    QTest::newRow("plain") << "москва" << false;
    QTest::newRow("mask") << "_остов%" << true;
}

void TestMainWindow::maskFlags()
{
    QFETCH(QString, text);
    QFETCH(bool, isMask);
    child<QLineEdit>("leFourthLevel")->setText(text);
    QCOMPARE(m_pWindow->searchParams().level(3).isMask, isMask);
    child<QCheckBox>("cbFifthLevel")->setChecked(true);
    child<QLineEdit>("leFifthLevel")->setText(text);
    QCOMPARE(m_pWindow->searchParams().level(4).isMask, isMask);
}

void TestMainWindow::levelAccessorClamps()
{
    SearchParams params;
    params.levels[0].text = QStringLiteral("zero");
    params.levels[4].text = QStringLiteral("four");
    QCOMPARE(params.level(4).text, QStringLiteral("four"));
    QCOMPARE(params.level(5).text, QStringLiteral("zero"));
    QCOMPARE(params.level(-1).text, QStringLiteral("zero"));
    QVERIFY(params.columns.isEmpty());
    // A missing key reads as the default entry.
    QCOMPARE(params.columns[QStringLiteral("index")].column, -1);
}

void TestMainWindow::logLineFormat()
{
    QCOMPARE(formatStateLine(QTime(9, 5, 3, 7), QStringLiteral("x")), QStringLiteral("09:05:03.007: x"));
    QCOMPARE(formatStateLine(QTime(14, 3, 7, 15), QStringLiteral("y")), QStringLiteral("14:03:07.015: y"));

    auto* status = child<QComboBox>("status");
    const int before = status->count();
    m_pWindow->slotAddState(QStringLiteral("first"), false);
    m_pWindow->slotAddState(QStringLiteral("second"), false);
    QCOMPARE(status->count(), before + 2);
    // The newest line is the one shown.
    QCOMPARE(status->currentIndex(), status->count() - 1);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d: second$"))
                .match(status->currentText())
                .hasMatch());
    QVERIFY(status->itemText(before).endsWith(QStringLiteral(": first")));
}

void TestMainWindow::logDecoding_data()
{
    QTest::addColumn<int>("form");
    QTest::addColumn<bool>("bEncode");
    QTest::addColumn<QString>("shown");
    const QString russian = QStringLiteral("Привет");
    // 0: const char* holding Windows-1251 bytes; 1: QString of those bytes as Latin-1 characters;
    // 2: QString of real Cyrillic.
    QTest::newRow("char* decoded") << 0 << true << russian;
    QTest::newRow("char* as Latin-1") << 0 << false << QStringLiteral("Ïðèâåò");
    QTest::newRow("8-bit QString decoded") << 1 << true << russian;
    QTest::newRow("Cyrillic QString encoded shows ?") << 2 << true << QStringLiteral("??????");
    QTest::newRow("Cyrillic QString unchanged") << 2 << false << russian;
}

void TestMainWindow::logDecoding()
{
    QFETCH(int, form);
    QFETCH(bool, bEncode);
    QFETCH(QString, shown);
    const QByteArray bytes = QTextCodec::codecForName("Windows-1251")->fromUnicode(QStringLiteral("Привет"));
    if (form == 0)
        m_pWindow->slotAddState(bytes.constData(), bEncode);
    else if (form == 1)
        m_pWindow->slotAddState(QString::fromLatin1(bytes), bEncode);
    else
        m_pWindow->slotAddState(QStringLiteral("Привет"), bEncode);
    QCOMPARE(lastLogText(), shown);
}

void TestMainWindow::workerReportsArriveQueuedInOrder()
{
    // Everything a worker reports through the host reaches the widgets on the GUI thread, in
    // the order issued.
    auto* status = child<QComboBox>("status");
    auto* label = child<QLabel>("label");
    auto* bar = child<QProgressBar>("progressBar");
    auto* frame = child<QFrame>("frame");
    QList<int> values;
    QList<QThread*> threads;
    connect(bar, &QProgressBar::valueChanged, this, [&values, &threads](int nValue) {
        values << nValue;
        threads << QThread::currentThread();
    });
    const QString labelBefore = label->text();
    const int before = status->count();

    WorkerHost* host = m_pWindow->host();
    std::unique_ptr<QThread> worker(QThread::create([host] {
        host->setVisible(true);
        host->updateText(QStringLiteral("Шаг 1"));
        host->updateProgress(0, 200);
        for (int i = 0; i < 200; ++i) {
            host->addState(QString::number(i), false);
            host->updateProgress(i + 1, -1);
        }
        host->updateText(QStringLiteral("Шаг 2"));
        host->setVisible(false);
        host->setVisible(true);
    }));
    worker->start();
    QVERIFY(worker->wait(60000));
    // The GUI thread has not run its event loop since: nothing may have changed yet.
    QCOMPARE(status->count(), before);
    QCOMPARE(label->text(), labelBefore);
    QVERIFY(frame->isHidden());
    QVERIFY(values.isEmpty());

    QTRY_COMPARE(status->count(), before + 200);
    for (int i = 0; i < 200; ++i)
        QVERIFY(status->itemText(before + i).endsWith(QStringLiteral(": %1").arg(i)));
    QCOMPARE(label->text(), QStringLiteral("Шаг 2"));
    QVERIFY(!frame->isHidden());
    QCOMPARE(bar->maximum(), 200);
    // From the value the window starts with down to 0, then up one step at a time.
    QList<int> expected;
    for (int i = 0; i <= 200; ++i)
        expected << i;
    QCOMPARE(values, expected);
    QCOMPARE(threads.count(qApp->thread()), threads.size());
}

void TestMainWindow::progressValueThenMaximum()
{
    auto* bar = child<QProgressBar>("progressBar");
    m_pWindow->slotUpdateProgress(5, -1);
    QCOMPARE(bar->value(), 5);
    QCOMPARE(bar->maximum(), 100);
    m_pWindow->slotUpdateProgress(0, 100);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(bar->maximum(), 100);
    // The value is set before the maximum grows, so a value beyond the old maximum is dropped.
    m_pWindow->slotUpdateProgress(150, 200);
    QCOMPARE(bar->maximum(), 200);
    QCOMPARE(bar->value(), 0);
    m_pWindow->slotUpdateProgress(150, -1);
    QCOMPARE(bar->value(), 150);

    m_pWindow->slotSetProgressBools(false, true);
    QVERIFY(!bar->isTextVisible());
    QVERIFY(bar->invertedAppearance());
    m_pWindow->slotSetProgressBools(true, false);
    QVERIFY(bar->isTextVisible());
    QVERIFY(!bar->invertedAppearance());

    m_pWindow->slotUpdateText(QStringLiteral("Шаг 2 из 11"));
    QCOMPARE(child<QLabel>("label")->text(), QStringLiteral("Шаг 2 из 11"));
}

void TestMainWindow::busyAndIdleDisplay()
{
    m_pWindow->slotVisible(true);
    QVERIFY(!child<QFrame>("frame")->isHidden());
    QVERIFY(child<QCommandLinkButton>("clbDoFind")->isHidden());
    QVERIFY(!child<QGroupBox>("gbFindParams")->isEnabled());
    QVERIFY(!child<QGroupBox>("gpResults")->isEnabled());
    QVERIFY(!child<QLineEdit>("leFourthLevel")->isEnabled());

    m_pWindow->slotVisible(false);
    QVERIFY(child<QFrame>("frame")->isHidden());
    QVERIFY(!child<QCommandLinkButton>("clbDoFind")->isHidden());
    QVERIFY(child<QGroupBox>("gbFindParams")->isEnabled());
    QVERIFY(child<QGroupBox>("gpResults")->isEnabled());
    QVERIFY(child<QLineEdit>("leFourthLevel")->isEnabled());
    QVERIFY(!child<QLineEdit>("leFifthLevel")->isEnabled());
}

void TestMainWindow::autoCopyGatesCopyButton()
{
    auto* copy = child<QPushButton>("pbCopy");
    auto* autoCopy = child<QCheckBox>("cbAutoCopy");
    auto* result = child<QLineEdit>("leResult");
    autoCopy->setChecked(false);
    // The result line is disabled, so the button stays disabled.
    QVERIFY(!copy->isEnabled());
    result->setEnabled(true);
    autoCopy->setChecked(true);
    autoCopy->setChecked(false);
    QVERIFY(copy->isEnabled());
    autoCopy->setChecked(true);
    QVERIFY(!copy->isEnabled());
}

void TestMainWindow::enterInEmptyFieldStartsTheCheckOnce()
{
    auto* status = child<QComboBox>("status");
    const int before = status->count();
    QVERIFY(child<QLineEdit>("leFourthLevel")->text().isEmpty());
    QTest::keyClick(child<QLineEdit>("leFourthLevel"), Qt::Key_Return);
    QCOMPARE(status->itemText(before).mid(14), QStringLiteral("Начало проверки и/или создания базы данных."));
    QTRY_VERIFY_WITH_TIMEOUT(m_pWindow->importThread()->isFinished(), 60000);
    // The empty application directory holds no classifier, so the check fails and nothing is ready.
    QTRY_VERIFY(!m_pWindow->isDataBaseReady());
    int checkLines = 0;
    for (int i = before; i < status->count(); ++i)
        checkLines
            += status->itemText(i).endsWith(QStringLiteral("Начало проверки и/или создания базы данных."));
    QCOMPARE(checkLines, 1);
}

void TestMainWindow::writeSample()
{
    QFile socrbase(QStringLiteral(VELMORA_SOCRBASE_DBF));
    QVERIFY(socrbase.open(QIODevice::ReadOnly));
    KladrSample::Options options;
    options.scale = 0.001;
    QString error;
    QVERIFY2(KladrSample::writeSample(g_LocalDbDir, socrbase.readAll(), options, nullptr, &error),
        qPrintable(error));
}

void TestMainWindow::searchMoscowShowsRows()
{
    child<QLineEdit>("leFourthLevel")->setText(QStringLiteral("Москва"));
    QTest::keyClick(child<QLineEdit>("leFourthLevel"), Qt::Key_Return);
    // The line after it says what was found.
    auto* status = child<QComboBox>("status");
    QTRY_VERIFY_WITH_TIMEOUT(
        status->itemText(status->count() - 2).mid(14) == QStringLiteral("Запрос успешно выполнен"), 60000);
    QVERIFY(lastLogText().startsWith(QStringLiteral("Найден")));
    QVERIFY(m_pWindow->isDataBaseReady());
    QVERIFY(child<QTableView>("tResults")->model()->rowCount() > 0);
}

void TestMainWindow::searchRunsAfterTheCheckEvenWhenTheImportEndsLate()
{
    writeSample();
    if (QTest::currentTestFailed())
        return;

    // Hold the import thread after it has reported success until the report reaches the window,
    // so the window takes it while the thread is still running. The report goes through a relay
    // that lets the thread go just before the window's slot runs.
    ThreadDataBaseCreate* import = m_pWindow->importThread();
    QSemaphore reported;
    QVERIFY(disconnect(
        import, &ThreadDataBaseCreate::signalDataBaseCreated, m_pWindow, &MainWindow::slotDataBaseCreated));
    connect(
        import, &ThreadDataBaseCreate::signalDataBaseCreated, this,
        [this, &reported](bool bSuccess) {
            reported.release();
            m_pWindow->slotDataBaseCreated(bSuccess);
        },
        Qt::QueuedConnection);
    connect(
        import, &ThreadDataBaseCreate::signalDataBaseCreated, this,
        [&reported](bool) { reported.tryAcquire(1, 60000); }, Qt::DirectConnection);
    searchMoscowShowsRows();
}

// A database received by update has no BASE/ beside it: the first Enter checks it and searches.
void TestMainWindow::completeDatabaseWithoutClassifierIsSearched()
{
    writeSample();
    if (QTest::currentTestFailed())
        return;
    {
        class QuietHost : public WorkerHost {
            void addState(const QString&, bool) override { }
        } host;
        ThreadDataBaseCreate build;
        build.setHost(&host);
        build.setDirectories(g_AppDir, g_LocalDbDir);
        build.start();
        QVERIFY(build.wait(60000));
        QVERIFY(build.lastRunReport().success);
    }
    QVERIFY(QDir(g_LocalDbDir + QStringLiteral("/BASE")).removeRecursively());

    searchMoscowShowsRows();
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
