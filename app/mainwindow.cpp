// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"

#include "addresslinepanel.h"
#include "indexquery.h"
#include "paths.h"
#include "queuedworkerhost.h"
#include "resulttable.h"
#include "schema.h"
#include "searchsummary.h"
#include "settings.h"
#include "sqltext.h"
#include "threaddatabasecreate.h"
#include "threaddatabasefind.h"
#include "threaddatabaseupdate.h"
#include "threadtimer.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
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

// The window's own settings belong to its user: Velmora.ini beside the program is the
// administrator's, and often not writable.
std::unique_ptr<QSettings> userSettings()
{
    return std::make_unique<QSettings>(
        QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("velmora"), QStringLiteral("window"));
}

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

private:
    MainWindow* m_pWindow;
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

    ui->tResults->setModel(&m_ResultModel);
    m_pResultTable = new ResultTable(ui->tResults);
    connect(m_pResultTable, &ResultTable::copied, this,
        [this](const QString& line) { slotAddState(line, false); });
    // A line longer than the combo box is read whole in its tooltip, in the list too.
    connect(ui->status, &QComboBox::currentTextChanged, ui->status, &QWidget::setToolTip);
    // Enter names its field; the button is pressed after typing in the field last used.
    m_pSearchField = ui->leFourthLevel;
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now == ui->leFourthLevel || now == ui->leFifthLevel || now == ui->leHouseLevel
            || now == ui->leIndexLevel)
            m_pSearchField = static_cast<QLineEdit*>(now);
    });
    restoreLayout();

    m_pThreadDataBaseCreate = new ThreadDataBaseCreate;
    m_pThreadDataBaseCreate->setHost(host());
    m_pThreadDataBaseFind = new ThreadDataBaseFind;
    m_pThreadDataBaseFind->setHost(host());
    m_pThreadTimer = new ThreadTimer;
    m_pThreadDataBaseFind->setTimer(m_pThreadTimer);
    m_pThreadDatabaseUpdate = new ThreadDatabaseUpdate;
    m_pThreadDatabaseUpdate->setHost(host());
    connect(m_pThreadDatabaseUpdate, &ThreadDatabaseUpdate::signalDatabaseChecked, this,
        &MainWindow::slotDatabaseChecked);

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
    connect(m_pThreadDataBaseCreate, &QThread::finished, this, &MainWindow::returnToSearchField);
    connect(
        m_pThreadDataBaseFind, &ThreadDataBaseFind::signalSearchDone, this, &MainWindow::returnToSearchField);

    g_LocalDbDir = Settings::readLocalDbDir(g_AppDir);
    m_pThreadDataBaseCreate->setDirectories(g_AppDir, g_LocalDbDir);
    m_pThreadDatabaseUpdate->setDirectories(g_AppDir, g_LocalDbDir);
    m_pThreadDataBaseFind->setDatabaseFile(Paths::databaseFile(g_LocalDbDir));

    m_DataBase = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    m_DataBase.setDatabaseName(Paths::databaseFile(g_LocalDbDir));
    setUpImportAction();

    // The address written on one line, below the search fields; its answers fill the result
    // table, where they are sized and copied as every other result.
    m_pAddressLine = new AddressLinePanel([] { return Paths::databaseFile(g_LocalDbDir); },
        [this](const QString& text) { slotAddState(text, false); }, ui->centralWidget);
    // Beside the search button, where the row has room, so the window keeps its opening size.
    const int findRow = ui->verticalLayout_4->indexOf(ui->clbDoFind);
    ui->verticalLayout_4->removeWidget(ui->clbDoFind);
    auto* row = new QHBoxLayout;
    row->addWidget(ui->clbDoFind);
    row->addWidget(m_pAddressLine, 1);
    ui->verticalLayout_4->insertLayout(findRow, row);
    connect(m_pAddressLine, &AddressLinePanel::signalResultReady, this, [this] {
        const QAbstractItemModel* answer = m_pAddressLine->model();
        QVector<QVariant> headers;
        for (int column = 0; column < answer->columnCount(); ++column)
            headers << answer->headerData(column, Qt::Horizontal);
        QVector<QVector<QVariant>> rows;
        for (int row = 0; row < answer->rowCount(); ++row) {
            QVector<QVariant> cells;
            for (int column = 0; column < answer->columnCount(); ++column)
                cells << answer->index(row, column).data();
            rows << cells;
        }
        m_ResultModel.setTable(headers, rows);
    });
}

MainWindow::~MainWindow()
{
    // Closing the window during the update's copy stops it; the local database stays as it was.
    stopThread(m_pThreadDatabaseUpdate);
    delete m_pThreadDatabaseUpdate;
    m_pThreadDatabaseUpdate = nullptr;
    saveLayout();
    // Neither follows the widgets while they are taken down.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    delete m_pResultTable;
    m_pResultTable = nullptr;
    // The search thread drives the timer, so it must have ended before the timer goes.
    delete m_pThreadDataBaseFind; // ends the search under way, and the worker
    m_pThreadDataBaseFind = nullptr;
    delete m_pThreadTimer; // ends its tick loop
    m_pThreadTimer = nullptr;
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
    m_pSearchField = ui->leFifthLevel;
    startFind();
}

void MainWindow::on_leFourthLevel_returnPressed()
{
    m_pSearchField = ui->leFourthLevel;
    startFind();
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
    m_pSearchField = ui->leHouseLevel;
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
    m_pSearchField = ui->leIndexLevel;
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
    const QString line = formatStateLine(QTime::currentTime(), text);
    ui->status->insertItem(ui->status->count(), line);
    ui->status->setItemData(ui->status->count() - 1, line, Qt::ToolTipRole);
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
    if (!m_pThreadDataBaseCreate->source().isEmpty()) {
        finishImport(bSuccess);
        return;
    }
    if (!bSuccess)
        return;
    // The run reports just before it ends (a last log line, its connection released); let it
    // end, or startFind would take the search for a request made while the import runs.
    m_pThreadDataBaseCreate->wait();
    startFind();
}

void MainWindow::slotFind(const SearchResult& result)
{
    ResultFiller::fill(result, m_ResultModel);
    // The view follows the model's reset; ResultTable sizes its columns.
    for (const QString& line : result.officeLines)
        slotAddState(line, false);
    slotAddState(QStringLiteral("Запрос успешно выполнен"), false);
    slotAddState(searchSummary(result), false);
}

void MainWindow::checkDatabaseVersion()
{
    m_pThreadDatabaseUpdate->start(QThread::InheritPriority);
}

void MainWindow::slotDatabaseChecked(bool bInstalled)
{
    // The file under the connection was replaced: the next search opens the new one.
    if (bInstalled)
        m_DataBase.close();
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
    m_SearchParams.index = ui->cbIndexLevel->isChecked() ? ui->leIndexLevel->text() : QString();
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
    if (m_pThreadDataBaseCreate->isRunning() || m_pThreadDataBaseFind->isBusy()
        || m_pThreadDatabaseUpdate->isRunning())
        return;
    // A refused index is said at once, before the first import, and nothing is searched.
    if (!indexAccepted())
        return;
    // The rows of the last search never stand under the outcome of this one, be it refused,
    // failed or empty.
    m_ResultModel.setTable({}, {});
    if (!m_bDataBaseReady) {
        startDataBaseCreate();
        return;
    }
    if (!openDataBase())
        return;
    fillSearchParams();
    // Busy at once, not only when the thread's own busy signal arrives; the thread takes a copy
    // of the levels.
    slotVisible(true);
    m_pThreadDataBaseFind->find(m_SearchParams);
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

void MainWindow::setUpImportAction()
{
    m_pImportAction = new QAction(QStringLiteral("Импортировать классификатор…"), this);
    m_pImportAction->setObjectName(QStringLiteral("actImportClassifier"));
    m_pImportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    m_pImportAction->setToolTip(QStringLiteral(
        "Создать базу данных заново из архива классификатора base.7z (или .zip) или из папки с "
        "его файлами DBF. Прежняя база данных заменяется, только когда новая готова."));
    menuBar()->addMenu(QStringLiteral("&Классификатор"))->addAction(m_pImportAction);
    connect(m_pImportAction, &QAction::triggered, this, &MainWindow::slotChooseClassifier);

    m_pCancelImport = new QPushButton(QStringLiteral("Отмена"), ui->frame);
    m_pCancelImport->setObjectName(QStringLiteral("pbCancelImport"));
    ui->frame->layout()->addWidget(m_pCancelImport);
    m_pCancelImport->hide();
    connect(m_pCancelImport, &QPushButton::clicked, this, &MainWindow::cancelImport);
}

void MainWindow::slotChooseClassifier()
{
    // One dialog for both: an archive, or any DBF file of the classifier for its folder.
    const QString chosen
        = QFileDialog::getOpenFileName(this, QStringLiteral("Импорт классификатора"), QDir::homePath(),
            QStringLiteral("Классификатор: архив base.7z или .zip, или файл KLADR.DBF в папке "
                           "(*.7z *.zip *.dbf *.DBF);;Все файлы (*)"));
    if (chosen.isEmpty())
        return;
    const QFileInfo file(chosen);
    importClassifier(
        file.suffix().compare(QLatin1String("dbf"), Qt::CaseInsensitive) == 0 ? file.absolutePath() : chosen);
}

void MainWindow::importClassifier(const QString& from)
{
    if (m_pThreadDataBaseCreate->isRunning() || m_pThreadDataBaseFind->isBusy()
        || m_pThreadDatabaseUpdate->isRunning()) {
        slotAddState(
            QStringLiteral("Импорт классификатора начнётся после окончания текущей работы: повторите его."),
            false);
        return;
    }
    m_bReadyBeforeImport = m_bDataBaseReady;
    // The connection would keep reading the file the import replaces.
    m_DataBase.close();
    m_pThreadDataBaseCreate->setSource(from);
    m_pImportAction->setEnabled(false);
    m_pCancelImport->setEnabled(true);
    m_pCancelImport->show();
    m_pThreadDataBaseCreate->start(QThread::InheritPriority);
}

void MainWindow::cancelImport()
{
    if (m_pThreadDataBaseCreate->source().isEmpty())
        return;
    m_pCancelImport->setEnabled(false);
    m_pThreadDataBaseCreate->cancel();
}

void MainWindow::finishImport(bool bSuccess)
{
    m_pThreadDataBaseCreate->wait();
    m_pThreadDataBaseCreate->setSource(QString());
    m_pCancelImport->hide();
    m_pImportAction->setEnabled(true);
    // The previous database is untouched by a failed or cancelled import, and as ready as before.
    if (!bSuccess)
        m_bDataBaseReady = m_bReadyBeforeImport;
    updateFindButton();
}

void MainWindow::returnToSearchField()
{
    // The search worker reports its end before it counts as idle, so only the import is asked.
    if (m_pThreadDataBaseCreate->isRunning() || !m_pSearchField || !m_pSearchField->isEnabled())
        return;
    m_pSearchField->setFocus(Qt::OtherFocusReason);
    m_pSearchField->selectAll();
}

void MainWindow::restoreLayout()
{
    const std::unique_ptr<QSettings> settings = userSettings();
    restoreGeometry(settings->value(QStringLiteral("window/geometry")).toByteArray());
    m_pResultTable->setColumnWidths(settings->value(QStringLiteral("window/columnWidths")).toMap());
}

void MainWindow::saveLayout() const
{
    const std::unique_ptr<QSettings> settings = userSettings();
    settings->setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings->setValue(QStringLiteral("window/columnWidths"), m_pResultTable->columnWidths());
}
