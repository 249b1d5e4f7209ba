// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "addressnamecache.h"
#include "indexsearch.h"
#include "resultfiller.h"
#include "searchparams.h"
#include "searchresult.h"
#include "tablemodel.h"
#include "workerhost.h"

#include <QMainWindow>
#include <QSqlDatabase>
#include <QSqlQueryModel>

#include <atomic>
#include <memory>

class ThreadDataBaseCreate;
class ThreadDataBaseFind;
class ThreadTimer;
class Ui_MainWindow;

// Directory of the executable, and the local database directory (from Velmora.ini).
extern QString g_AppDir;
extern QString g_LocalDbDir;

// The one window: search inputs, results, progress frame and status log. The work itself runs
// in the worker threads and the database code, which report back through WorkerHost.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // How workers and the database code reach the status log, the progress frame and the
    // readiness flag; calls from other threads are queued to the GUI thread in the order issued.
    WorkerHost* host() const { return m_pHost.get(); }

    // The start-up check of the local database against the update location, and the install
    // of the offered database; the work is done by DatabaseUpdate on the window's connection.
    void checkDatabaseVersion();
    bool installUpdate(const QString& F, bool Z);
    static bool isZipType(const QString& fileType);

    void fillSearchParams();
    void updateFindButton();
    void startFind();
    bool openDataBase();
    void startDataBaseCreate();
    void copyResult();
    // Address line of the row whose values stand in the column map, and the KLADR name lookup
    // it uses; slotFind fills every row with the same code.
    QString composeAddress();
    NameLookup lookupName(const QString& code);

    const SearchParams& searchParams() const { return m_SearchParams; }
    bool isDataBaseReady() const { return m_bDataBaseReady; }
    ThreadDataBaseCreate* importThread() const { return m_pThreadDataBaseCreate; }
    ThreadDataBaseFind* searchThread() const { return m_pThreadDataBaseFind; }
    ThreadTimer* timerThread() const { return m_pThreadTimer; }

private slots:
    void on_leFifthLevel_returnPressed();
    void on_leFourthLevel_returnPressed();
    void slotResultFound(QSqlQueryModel& sqlResultModel);
    void on_leResult_textChanged();
    void on_pbCopy_clicked();
    void on_leFourthLevel_textChanged();
    void on_leFifthLevel_textChanged();
    void on_cbAutoCopy_toggled(bool checked);
    void on_cbFifthLevel_toggled(bool checked);
    void on_cbFourthLevel_toggled(bool checked);
    void on_clbDoFind_pressed();
    // The house row: usable only while the street row is ticked.
    void on_leHouseLevel_returnPressed();
    void on_leHouseLevel_textChanged();
    void on_cbHouseLevel_toggled(bool checked);
    // The index row: a search by postal index, alone or narrowed by the ticked name rows.
    void on_cbIndexLevel_toggled(bool checked);
    void on_leIndexLevel_returnPressed();
    void on_leIndexLevel_textChanged();
    void slotIndexFound(const IndexSearchResult& found);

public slots:
    void slotAddState(const char* s, bool bEncode = true);
    void slotAddState(QString s, bool bEncode = true);
    void slotUpdateText(QString s);
    void slotUpdateProgress(int nValue, int nMax);
    void slotSetProgressBools(bool bTextVisible, bool bInvertedApperance);
    void slotVisible(bool v);
    void slotDataBaseCreated(bool bSuccess);
    void slotFind(const SearchResult& result);

private:
    class Host;
    friend class Host;
    void appendStateLine(const QString& text);
    // False, with the reason in the log, when the index row is ticked but holds no index.
    bool indexAccepted();
    void startIndexFind();

    Ui_MainWindow* ui;
    SearchParams m_SearchParams;
    QSqlDatabase m_DataBase;
    AddressNameCache m_AddressNames;
    TableModel m_ResultModel;
    // Set through the host just before the import reports, so on the GUI thread before the report.
    std::atomic_bool m_bDataBaseReady { false };
    ThreadDataBaseCreate* m_pThreadDataBaseCreate = nullptr;
    ThreadDataBaseFind* m_pThreadDataBaseFind = nullptr;
    ThreadTimer* m_pThreadTimer = nullptr;
    IndexSearchThread* m_pThreadIndexSearch = nullptr;
    // The window's own host, called on the GUI thread only, and the one handed to workers.
    std::unique_ptr<WorkerHost> m_pWindowHost;
    std::unique_ptr<WorkerHost> m_pHost;
};
