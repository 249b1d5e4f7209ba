// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QThread>

class WorkerHost;
class QLockFile;
class QSqlDatabase;

// The check-and-create run of the local database: reads the classifier's DBF files into
// KLADR.sqlite, builds the indexes and, on a new database, publishes it.
class ThreadDataBaseCreate : public QThread {
    Q_OBJECT
public:
    // What one run did to a data table, for velmora-tool's summary and the tests.
    struct TableReport {
        bool created = false; // built completely and renamed to its own name in this run
        qint64 rows = 0; // rows committed
        int blocks = 0; // blocks read, each committed in its own transaction
        int unreadable = 0; // records the header announces but the file does not hold
    };
    struct RunReport {
        bool success = false;
        TableReport kladr;
        TableReport street;
        TableReport doma;
        bool analyzed = false;
        bool published = false;
    };

    explicit ThreadDataBaseCreate(QObject* parent = nullptr);
    ~ThreadDataBaseCreate() override;

    // Not owned. Set before the first start; run() does nothing without it.
    void setHost(WorkerHost* host) { m_pHost = host; }
    // appDir receives Velmora.ini and update.info on publication; localDbDir holds
    // KLADR.sqlite and BASE/.
    void setDirectories(const QString& appDir, const QString& localDbDir);

    // How long a run waits for another import of the same database to end (QLockFile beside it).
    void setLockTimeout(int nMilliseconds) { m_nLockTimeout = nMilliseconds; }
    // Test seam: caps the build connection's database at this many pages (PRAGMA
    // max_page_count), which stops SQLite the way a full disk does. 0: no cap.
    void setMaxPageCount(int nPages) { m_nMaxPageCount = nPages; }

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
    struct TableStep;
    // How a step ended: Stop means the database cannot be written on (full disk, damaged
    // file), so the run ends without the steps after it.
    enum class Outcome { Done, Failed, Stop };

    void log(const QString& text);
    void checkLocalDbDir();
    bool lockDatabase(QLockFile& lock);
    bool build();
    bool buildOn(QSqlDatabase& db);
    bool readTableList(QSqlDatabase& db, QStringList& tables);
    bool recordCountFits(const QString& path);
    bool readTypes();
    Outcome dropLeftovers(QSqlDatabase& db, const QStringList& tables);
    Outcome importTable(
        QSqlDatabase& db, const QStringList& tables, const TableStep& step, TableReport& report);
    Outcome execChecked(QSqlDatabase& db, const QString& sql, const QString& failurePrefix);
    Outcome buildIndexes(QSqlDatabase& db, bool bTableCreated);
    Outcome publish(QSqlDatabase& db);
    Outcome sqlFault(int nCode, const QString& text);
    QString databasePath() const;

    // A queued signal per row would flood the GUI thread; the bar only moves in thousandths.
    void startProgress(int nMax);
    void advanceProgress(int nValue);
    void finishProgress();

    WorkerHost* m_pHost = nullptr;
    QString m_AppDir;
    QString m_LocalDbDir;
    int m_nLockTimeout = 10000;
    int m_nMaxPageCount = 0;

    // State of the run in progress.
    QHash<QString, QString> m_Types;
    RunReport m_Report;
    int m_nProgressMax = 0;
    int m_nProgressShown = -1;
    int m_nProgressLast = -1;
    int m_nProgressEmitted = -1;
};
