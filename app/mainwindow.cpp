// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"

#include "databaseupdate.h"
#include "indexquery.h"
#include "queuedworkerhost.h"
#include "schema.h"
#include "settings.h"
#include "sqltext.h"
#include "threaddatabasecreate.h"
#include "threaddatabasefind.h"
#include "threadtimer.h"
#include "ui_mainwindow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QSqlQuery>
#include <QTextCodec>
#include <QThread>
#include <QTime>
#include <algorithm>

QString g_AppDir;
QString g_LocalDbDir;

// The icon lives in a static library, whose resource initialiser is linked only when referenced.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace {

QByteArray windows1251(const QString& text)
{
    return QTextCodec::codecForName("Windows-1251")->fromUnicode(text);
}

// Stops a worker before its object goes. Both workers look for the request between rows, so
// the wait is short.
void stopThread(QThread* thread)
{
    if (!thread || !thread->isRunning())
        return;
    thread->requestInterruption();
    thread->wait();
}

} // namespace

// Reaches the widgets directly, so it is called on the GUI thread only; workers get it behind a
// QueuedWorkerHost.
class MainWindow::Host : public WorkerHost {
public:
    explicit Host(MainWindow* window)
        : m_pWindow(window)
    {
    }

    void addState(const QString& text, bool bEncode) override { m_pWindow->slotAddState(text, bEncode); }
    void updateText(const QString& text) override { m_pWindow->slotUpdateText(text); }
    void updateProgress(int nValue, int nMax) override { m_pWindow->slotUpdateProgress(nValue, nMax); }
    void setVisible(bool bVisible) override { m_pWindow->slotVisible(bVisible); }
    void setDataBaseReady(bool bReady) override { m_pWindow->m_bDataBaseReady = bReady; }
    // A window shown when the check began and hidden since has been closed by the user.
    bool stopRequested() const override { return m_bWatchClose && !m_pWindow->isVisible(); }
    void watchClose() { m_bWatchClose = m_pWindow->isVisible(); }

private:
    MainWindow* m_pWindow;
    bool m_bWatchClose = false;
};

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui_MainWindow)
    , m_pWindowHost(new Host(this))
    , m_pHost(new QueuedWorkerHost(this, m_pWindowHost.get()))
{
    initResources();
    ui->setupUi(this);

    ui->gbFinalResult->hide();
    ui->cbFourthLevel->setChecked(true);
    ui->leFourthLevel->setFocus(Qt::OtherFocusReason);
    ui->frame->hide();

    m_pThreadDataBaseCreate = new ThreadDataBaseCreate;
    m_pThreadDataBaseCreate->setHost(host());
    m_pThreadDataBaseFind = new ThreadDataBaseFind;
    m_pThreadDataBaseFind->setHost(host());
    m_pThreadTimer = new ThreadTimer;
    m_pThreadDataBaseFind->setTimer(m_pThreadTimer);

    connect(m_pThreadDataBaseCreate, &ThreadDataBaseCreate::signalDataBaseCreated, this,
        &MainWindow::slotDataBaseCreated);
    connect(m_pThreadDataBaseCreate, &ThreadDataBaseCreate::signalUpdateProgress, this,
        &MainWindow::slotUpdateProgress);
    connect(
        m_pThreadDataBaseCreate, &ThreadDataBaseCreate::signalUpdateText, this, &MainWindow::slotUpdateText);
    connect(m_pThreadDataBaseCreate, &ThreadDataBaseCreate::signalVisible, this, &MainWindow::slotVisible);
    connect(m_pThreadDataBaseFind, &ThreadDataBaseFind::signalUpdateProgress, this,
        &MainWindow::slotUpdateProgress);
    connect(m_pThreadDataBaseFind, &ThreadDataBaseFind::signalUpdateText, this, &MainWindow::slotUpdateText);
    connect(m_pThreadDataBaseFind, &ThreadDataBaseFind::signalVisible, this, &MainWindow::slotVisible);
    connect(m_pThreadDataBaseFind, &ThreadDataBaseFind::signalFind, this, &MainWindow::slotFind);
    connect(m_pThreadTimer, &ThreadTimer::signalUpdateProgress, this, &MainWindow::slotUpdateProgress);
    connect(m_pThreadTimer, &ThreadTimer::signalSetProgressBools, this, &MainWindow::slotSetProgressBools);

    g_LocalDbDir = Settings::readLocalDbDir(g_AppDir);
    m_pThreadDataBaseCreate->setDirectories(g_AppDir, g_LocalDbDir);
    m_pThreadDataBaseFind->setDatabaseFile(
        g_LocalDbDir + QLatin1Char('/') + QLatin1String(Schema::DatabaseFileName));

    m_DataBase = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    m_DataBase.setDatabaseName(g_LocalDbDir + QLatin1Char('/') + QLatin1String(Schema::DatabaseFileName));

    m_pThreadIndexSearch = new IndexSearchThread(this);
    connect(m_pThreadIndexSearch, &IndexSearchThread::signalIndexFound, this, &MainWindow::slotIndexFound);
}

MainWindow::~MainWindow()
{
    // The search thread drives the timer, so it must have ended before the timer goes.
    stopThread(m_pThreadDataBaseFind);
    delete m_pThreadTimer; // ends its tick loop
    m_pThreadTimer = nullptr;
    delete m_pThreadDataBaseFind;
    m_pThreadDataBaseFind = nullptr;
    stopThread(m_pThreadDataBaseCreate);
    delete m_pThreadDataBaseCreate;
    m_pThreadDataBaseCreate = nullptr;
    delete ui;

    // Release the default connection so a later window (or test) can register its own.
    const QString connection = m_DataBase.connectionName();
    m_DataBase.close();
    m_DataBase = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection);
}

void MainWindow::on_leFifthLevel_returnPressed()
{
    startFind();
}

void MainWindow::on_leFourthLevel_returnPressed()
{
    startFind();
}

void MainWindow::slotResultFound(QSqlQueryModel& sqlResultModel)
{
    ui->tResults->setModel(&sqlResultModel);
}

void MainWindow::on_leResult_textChanged()
{
    if (ui->cbAutoCopy->isChecked())
        copyResult();
}

void MainWindow::on_pbCopy_clicked()
{
    copyResult();
}

void MainWindow::on_leFourthLevel_textChanged()
{
    updateFindButton();
}

void MainWindow::on_leFifthLevel_textChanged()
{
    updateFindButton();
}

void MainWindow::on_cbAutoCopy_toggled(bool checked)
{
    ui->pbCopy->setEnabled(!checked && ui->leResult->isEnabled());
}

void MainWindow::on_cbFifthLevel_toggled(bool checked)
{
    ui->leFifthLevel->setEnabled(checked);
    // A house belongs to a street: its row follows the street row and starts clear each time.
    ui->cbHouseLevel->setChecked(false);
    ui->cbHouseLevel->setEnabled(checked);
    updateFindButton();
}

void MainWindow::on_cbFourthLevel_toggled(bool checked)
{
    ui->leFourthLevel->setEnabled(checked);
    updateFindButton();
}

void MainWindow::on_clbDoFind_pressed()
{
    startFind();
}

void MainWindow::on_leHouseLevel_returnPressed()
{
    startFind();
}

void MainWindow::on_leHouseLevel_textChanged()
{
    updateFindButton();
}

void MainWindow::on_cbHouseLevel_toggled(bool checked)
{
    ui->leHouseLevel->setEnabled(checked);
    updateFindButton();
}

void MainWindow::on_cbIndexLevel_toggled(bool checked)
{
    ui->leIndexLevel->setEnabled(checked);
    updateFindButton();
}

void MainWindow::on_leIndexLevel_returnPressed()
{
    startFind();
}

void MainWindow::on_leIndexLevel_textChanged()
{
    updateFindButton();
}

bool MainWindow::indexAccepted()
{
    if (!ui->cbIndexLevel->isChecked())
        return true;
    const QString refusal = IndexQuery::read(ui->leIndexLevel->text()).refusal;
    if (!refusal.isEmpty())
        slotAddState(refusal, false);
    return refusal.isEmpty();
}

void MainWindow::startIndexFind()
{
    fillSearchParams();
    slotVisible(true);
    m_pThreadIndexSearch->setDatabaseFile(m_DataBase.databaseName());
    m_pThreadIndexSearch->setRequest(IndexQuery::read(ui->leIndexLevel->text()).index,
        m_SearchParams.level(SearchParams::LocalityLevel), m_SearchParams.level(SearchParams::StreetLevel));
    m_pThreadIndexSearch->start(QThread::InheritPriority);
}

void MainWindow::slotIndexFound(const IndexSearchResult& found)
{
    slotVisible(false);
    for (const QString& line : found.officeLines)
        slotAddState(line, false);
    if (!found.ok) {
        slotAddState(QStringLiteral("Ошибка: ") + found.error, false);
        return;
    }
    const QString cut = IndexQuery::cutLine(found.total, found.result.rows.size());
    if (!cut.isEmpty())
        slotAddState(cut, false);
    slotFind(found.result);
}

void MainWindow::slotAddState(const char* s, bool bEncode)
{
    appendStateLine(decodeStateText(s, bEncode));
}

void MainWindow::slotAddState(QString s, bool bEncode)
{
    appendStateLine(decodeStateText(s, bEncode));
}

void MainWindow::appendStateLine(const QString& text)
{
    ui->status->insertItem(ui->status->count(), formatStateLine(QTime::currentTime(), text));
    ui->status->setCurrentIndex(ui->status->count() - 1);
}

void MainWindow::slotUpdateText(QString s)
{
    ui->label->setText(s);
}

void MainWindow::slotUpdateProgress(int nValue, int nMax)
{
    ui->progressBar->setValue(nValue);
    if (nMax != -1)
        ui->progressBar->setMaximum(nMax);
}

void MainWindow::slotSetProgressBools(bool bTextVisible, bool bInvertedApperance)
{
    ui->progressBar->setTextVisible(bTextVisible);
    ui->progressBar->setInvertedAppearance(bInvertedApperance);
}

void MainWindow::slotVisible(bool v)
{
    ui->frame->setVisible(v);
    ui->clbDoFind->setVisible(!v);
    ui->gbFindParams->setEnabled(!v);
    ui->gpResults->setEnabled(!v);
}

void MainWindow::slotDataBaseCreated(bool bSuccess)
{
    if (!bSuccess)
        return;
    // The run reports just before it ends (a last log line, its connection released); let it
    // end, or startFind would take the search for a request made while the import runs.
    m_pThreadDataBaseCreate->wait();
    startFind();
}

void MainWindow::slotFind(const SearchResult& result)
{
    // Read once per database; a database changed by an update or an import is read again.
    m_AddressNames.refresh(m_DataBase);
    ResultFiller(m_SearchParams, m_AddressNames).fill(result, m_ResultModel);
    // Later searches find the model installed; the view follows its reset.
    if (ui->tResults->model() != &m_ResultModel)
        ui->tResults->setModel(&m_ResultModel);
    // Wide enough to read each variant; the address, last, takes the rest of the row.
    ui->tResults->resizeColumnsToContents();
    ui->tResults->horizontalHeader()->setStretchLastSection(true);
    slotAddState(QStringLiteral("Запрос успешно выполнен"), false);
}

QString MainWindow::composeAddress()
{
    m_AddressNames.refresh(m_DataBase);
    return ResultFiller(m_SearchParams, m_AddressNames).composeAddress();
}

NameLookup MainWindow::lookupName(const QString& code)
{
    m_AddressNames.refresh(m_DataBase);
    return ResultFiller(m_SearchParams, m_AddressNames).lookupName(code);
}

void MainWindow::checkDatabaseVersion()
{
    // The check runs on the GUI thread: it reports straight to the window and sees a close.
    static_cast<Host*>(m_pWindowHost.get())->watchClose();
    DatabaseUpdate(m_pWindowHost.get(), g_AppDir, g_LocalDbDir, m_DataBase.connectionName())
        .checkDatabaseVersion();
}

bool MainWindow::installUpdate(const QString& F, bool Z)
{
    return DatabaseUpdate(m_pWindowHost.get(), g_AppDir, g_LocalDbDir, m_DataBase.connectionName())
        .installUpdate(F, Z);
}

bool MainWindow::isZipType(const QString& fileType)
{
    return DatabaseUpdate::isZipType(fileType);
}

void MainWindow::fillSearchParams()
{
    LevelFilter& locality = m_SearchParams.level(SearchParams::LocalityLevel);
    locality.text = ui->cbFourthLevel->isChecked() ? ui->leFourthLevel->text() : QString();
    locality.isMask = SqlText::isMask(locality.text);
    LevelFilter& street = m_SearchParams.level(SearchParams::StreetLevel);
    street.text = ui->cbFifthLevel->isChecked() ? ui->leFifthLevel->text() : QString();
    street.isMask = SqlText::isMask(street.text);
    m_SearchParams.house = ui->cbFifthLevel->isChecked() && ui->cbHouseLevel->isChecked()
        ? ui->leHouseLevel->text()
        : QString();
}

void MainWindow::updateFindButton()
{
    fillSearchParams();
    const bool anyText = std::any_of(m_SearchParams.levels.cbegin(), m_SearchParams.levels.cend(),
        [](const LevelFilter& level) { return !level.text.isEmpty(); });
    ui->clbDoFind->setEnabled(
        anyText || (ui->cbIndexLevel->isChecked() && !ui->leIndexLevel->text().trimmed().isEmpty()));
}

void MainWindow::startFind()
{
    // One job at a time: a request while a worker runs is ignored.
    if (m_pThreadDataBaseCreate->isRunning() || m_pThreadDataBaseFind->isRunning()
        || m_pThreadIndexSearch->isRunning())
        return;
    if (!indexAccepted())
        return;
    if (!m_bDataBaseReady) {
        startDataBaseCreate();
        return;
    }
    if (!openDataBase())
        return;
    if (ui->cbIndexLevel->isChecked()) {
        startIndexFind();
        return;
    }
    fillSearchParams();
    // Busy at once, not only when the thread's own busy signal arrives; the thread takes a copy
    // of the levels.
    slotVisible(true);
    m_pThreadDataBaseFind->setSearchParams(m_SearchParams);
    m_pThreadDataBaseFind->start(QThread::InheritPriority);
}

bool MainWindow::openDataBase()
{
    if (m_DataBase.open())
        return true;
    startDataBaseCreate();
    return false;
}

void MainWindow::startDataBaseCreate()
{
    slotAddState(
        windows1251(QStringLiteral("Начало проверки и/или создания базы данных.")).constData(), true);
    m_pThreadDataBaseCreate->start(QThread::InheritPriority);
}

void MainWindow::copyResult()
{
    QGuiApplication::clipboard()->setText(ui->leResult->text(), QClipboard::Clipboard);
}
