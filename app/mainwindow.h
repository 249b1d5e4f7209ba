// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "resultfiller.h"
#include "searchparams.h"
#include "searchresult.h"
#include "tablemodel.h"
#include "workerhost.h"

#include <QMainWindow>
#include <QSqlDatabase>

#include <atomic>
#include <memory>

class QAction;
class QPushButton;
class QLineEdit;
class ResultTable;
class AddressLinePanel;
class ThreadDataBaseCreate;
class ThreadDataBaseFind;
class ThreadDatabaseUpdate;
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
    // of the offered database, on the update worker; searches wait until it has ended.
    void checkDatabaseVersion();
    ThreadDatabaseUpdate* updateThread() const { return m_pThreadDatabaseUpdate; }

    void fillSearchParams();
    void updateFindButton();
    void startFind();
    bool openDataBase();
    void startDataBaseCreate();
    void copyResult();

    // Imports the classifier from an archive (base.7z, a .zip) or a folder of its DBF files into
    // the local database, which the new one replaces only when complete; cancelImport stops it
    // and leaves the database as it was.
    void importClassifier(const QString& from);
    void cancelImport();

    const SearchParams& searchParams() const { return m_SearchParams; }
    bool isDataBaseReady() const { return m_bDataBaseReady; }
    ThreadDataBaseCreate* importThread() const { return m_pThreadDataBaseCreate; }
    ThreadDataBaseFind* searchThread() const { return m_pThreadDataBaseFind; }
    ThreadTimer* timerThread() const { return m_pThreadTimer; }

private slots:
    void on_leFifthLevel_returnPressed();
    void on_leFourthLevel_returnPressed();
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
    void slotChooseClassifier();
    // The index row: a search by postal index, alone or narrowed by the ticked name rows.
    void on_cbIndexLevel_toggled(bool checked);
    void on_leIndexLevel_returnPressed();
    void on_leIndexLevel_textChanged();

public slots:
    void slotAddState(const char* s, bool bEncode = true);
    void slotAddState(QString s, bool bEncode = true);
    void slotUpdateText(QString s);
    void slotUpdateProgress(int nValue, int nMax);
    void slotSetProgressBools(bool bTextVisible, bool bInvertedApperance);
    void slotVisible(bool v);
    void slotDataBaseCreated(bool bSuccess);
    void slotFind(const SearchResult& result);
    void slotDatabaseChecked(bool bInstalled);

private:
    class Host;
    friend class Host;
    void appendStateLine(const QString& text);
    void setUpImportAction();
    void finishImport(bool bSuccess);
    // Once no worker runs: the keyboard back in the field the search was started from, its text
    // selected, so typing starts the next search.
    void returnToSearchField();
    // Size, position and the column widths the user set, per user (window.conf in the user's
    // configuration directory).
    void restoreLayout();
    void saveLayout() const;
    // False, with the reason in the log, when the index row is ticked but holds no index.
    bool indexAccepted();

    Ui_MainWindow* ui;
    SearchParams m_SearchParams;
    QSqlDatabase m_DataBase;
    TableModel m_ResultModel;
    ResultTable* m_pResultTable = nullptr;
    // The level field that last had the keyboard: the one a search is started from.
    QLineEdit* m_pSearchField = nullptr;
    // Set through the host just before the import reports, so on the GUI thread before the report.
    std::atomic_bool m_bDataBaseReady { false };
    ThreadDataBaseCreate* m_pThreadDataBaseCreate = nullptr;
    ThreadDataBaseFind* m_pThreadDataBaseFind = nullptr;
    ThreadTimer* m_pThreadTimer = nullptr;
    ThreadDatabaseUpdate* m_pThreadDatabaseUpdate = nullptr;
    // The window's own host, called on the GUI thread only, and the one handed to workers.
    std::unique_ptr<WorkerHost> m_pWindowHost;
    std::unique_ptr<WorkerHost> m_pHost;
    // The classifier import: its menu action, the Cancel in the progress frame, and whether the
    // database was ready before it (a failed import leaves it as it was).
    QAction* m_pImportAction = nullptr;
    QPushButton* m_pCancelImport = nullptr;
    bool m_bReadyBeforeImport = false;
    // The address written on one line and the file action; a child widget.
    AddressLinePanel* m_pAddressLine = nullptr;
};
