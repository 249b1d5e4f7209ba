// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "addressfile.h"
#include "addressresolver.h"

#include <QMetaType>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <memory>

Q_DECLARE_METATYPE(AddressAnswer)

// Resolves one line or a whole file for the window on one thread of its own, started with the
// first job and kept, with its resolver (connection, statements, type words), until the object
// goes: the second line does not pay for the first one's start-up. A database file replaced
// meanwhile (an import or an update renames a new file over it) gets a new resolver. Reports
// through queued signals; a file job stops at cancel() and leaves nothing under the output name.
class AddressWorker : public QThread {
    Q_OBJECT
public:
    explicit AddressWorker(QObject* parent = nullptr);
    // Cancels the job under way and ends the thread.
    ~AddressWorker() override;

    // Each hands a job to the thread; false while another job is under way.
    bool resolveLine(const QString& databaseFile, const QString& line);
    bool resolveFile(const QString& databaseFile, const AddressFile::Options& options);
    void cancel() { m_bCancelled = true; }
    // True from a job's hand-over until its last signal.
    bool isBusy() const { return m_bBusy; }

signals:
    void signalLineResolved(const QString& line, const AddressAnswer& answer);
    // Per cent of the file read.
    void signalFileProgress(int nPercent);
    void signalFileNote(const QString& text);
    // The summary by grade, or why the file was not written.
    void signalFileFinished(bool bSuccess, const QString& text);

protected:
    void run() override;

private:
    struct Job {
        QString databaseFile;
        QString line;
        AddressFile::Options options;
        bool bFile = false;
    };
    bool post(const Job& job);
    void runJob(std::unique_ptr<AddressResolver>& resolver, const Job& job);

    QMutex m_Mutex;
    QWaitCondition m_Wake;
    Job m_Job;
    bool m_bPending = false;
    bool m_bStop = false;
    std::atomic_bool m_bBusy { false };
    std::atomic_bool m_bCancelled { false };
};
