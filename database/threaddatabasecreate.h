// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tableimport.h"

#include <QThread>

#include <atomic>

class WorkerHost;
class DatabaseLock;
class QSqlDatabase;

// The check-and-create run of the local database: reads the classifier's DBF files into
// KLADR.sqlite, builds the indexes and, on a new database, publishes it. The stages live in
// their own files (typedictionary, tableimport, indexstage, publication); this thread runs
// them in order on a connection of its own and reports to the window.
class ThreadDataBaseCreate : public QThread {
    Q_OBJECT
public:
    using TableReport = TableImportReport;
    struct RunReport {
        bool success = false;
        TableReport kladr;
        TableReport street;
        TableReport doma;
        TableReport postOffices; // the optional post office reference (PIndx<N>.dbf)
        bool analyzed = false;
        bool published = false;
        bool directInsert = false; // the rows went in through the connection's own handle
        bool cancelled = false;
        bool installed = false; // an import from a source replaced the database
    };

    explicit ThreadDataBaseCreate(QObject* parent = nullptr);
    ~ThreadDataBaseCreate() override;

    // Not owned. Set before the first start; run() does nothing without it.
    void setHost(WorkerHost* host) { m_pHost = host; }
    // appDir receives Velmora.ini and update.info on publication; localDbDir holds
    // KLADR.sqlite and BASE/.
    void setDirectories(const QString& appDir, const QString& localDbDir);

    // Import from this archive (.7z, .zip) or directory instead of BASE/: the database is built
    // afresh in a new file beside KLADR.sqlite and put in its place only when complete, so a
    // failed or cancelled run leaves the existing database as it was. Empty: the usual run.
    void setSource(const QString& from)
    {
        m_From = from;
        m_bCancelled = false;
    }
    QString source() const { return m_From; }
    // Stops the run at the next row or step; unlike the window closing, the run still ends
    // with its signals, as failed.
    void cancel() { m_bCancelled = true; }

    // How long a run waits for another import or an install of the same database to end
    // (DatabaseLock beside it).
    void setLockTimeout(int nMilliseconds) { m_nLockTimeout = nMilliseconds; }
    // Test seam: caps the build connection's database at this many pages (PRAGMA
    // max_page_count), which stops SQLite the way a full disk does. 0: no cap.
    void setMaxPageCount(int nPages) { m_nMaxPageCount = nPages; }
    // Test seam: false inserts the rows through Qt's prepared query even where the
    // connection's own handle may be used, as on a Qt whose plug-in carries its own SQLite.
    void setDirectInsert(bool bDirect) { m_bDirectInsert = bDirect; }

    // The last finished run; read it only after the thread has finished.
    RunReport lastRunReport() const { return m_Report; }

signals:
    void signalUpdateText(QString s);
    void signalUpdateProgress(int nValue, int nMax = -1);
    void signalVisible(bool);
    void signalDataBaseCreated(bool);

protected:
    void run() override;

private:
    class Feedback;

    void log(const QString& text);
    void checkLocalDbDir();
    bool lockDatabase(DatabaseLock& lock);
    bool build(const QString& path);
    bool buildAndInstall(const DatabaseLock& lock);
    bool stopped() const { return isInterruptionRequested() || m_bCancelled; }
    bool buildOn(ImportSession& session);
    bool readTableList(ImportSession& session, QStringList& tables);
    bool isOwnDatabase(ImportSession& session, const QStringList& tables);
    void refuseForeign(ImportSession& session, const QString& found);
    bool readClassifier(ImportSession& session, const QStringList& tables, TypeNames& types);
    StepOutcome dropLeftovers(ImportSession& session, const QStringList& tables);
    QString databasePath() const;

    WorkerHost* m_pHost = nullptr;
    QString m_AppDir;
    QString m_LocalDbDir;
    int m_nLockTimeout = 10000; // DatabaseLock::DefaultTimeout
    int m_nMaxPageCount = 0;
    bool m_bDirectInsert = true;
    QString m_From;
    std::atomic<bool> m_bCancelled { false };

    // The last run's report.
    RunReport m_Report;
};
