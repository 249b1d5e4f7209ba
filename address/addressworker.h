// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "addressfile.h"
#include "addressresolver.h"

#include <QMetaType>
#include <QThread>

#include <atomic>

Q_DECLARE_METATYPE(AddressAnswer)

// Resolves one line or a whole file on its own thread, for the window: each job opens its own
// resolver (its own read-only connection) and reports through queued signals; a file job stops
// at cancel() and leaves nothing under the output name.
class AddressWorker : public QThread {
    Q_OBJECT
public:
    explicit AddressWorker(QObject* parent = nullptr);
    ~AddressWorker() override;

    // Each starts the thread; false when a job is still running.
    bool resolveLine(const QString& databaseFile, const QString& line);
    bool resolveFile(const QString& databaseFile, const AddressFile::Options& options);
    void cancel() { m_bCancelled = true; }

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
    QString m_DatabaseFile;
    QString m_Line;
    AddressFile::Options m_Options;
    bool m_bFile = false;
    std::atomic_bool m_bCancelled { false };
};
