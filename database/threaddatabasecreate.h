#pragma once

#include <QThread>

class WorkerHost;

// The check-and-create run of the local database: reads the classifier's DBF files into
// KLADR.sqlite, builds the indexes and, on a new database, publishes it.
class ThreadDataBaseCreate : public QThread {
    Q_OBJECT
public:
    explicit ThreadDataBaseCreate(QObject* parent = nullptr);
    ~ThreadDataBaseCreate() override;

    // Not owned. Set before the first start; run() does nothing without it.
    void setHost(WorkerHost* host) { m_pHost = host; }
    // appDir receives Velmora.ini and update.info on publication; localDbDir holds
    // KLADR.sqlite and BASE/.
    void setDirectories(const QString& appDir, const QString& localDbDir);

signals:
    void signalUpdateText(QString s);
    void signalUpdateProgress(int nValue, int nMax = -1);
    void signalVisible(bool);
    void signalDataBaseCreated(bool);

protected:
    void run() override;

private:
    WorkerHost* m_pHost = nullptr;
    QString m_AppDir;
    QString m_LocalDbDir;
};
