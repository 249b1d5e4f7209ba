// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

class WorkerHost;

// Offers a complete local database at an update location: the database (plain, or zipped as the
// only entry of an archive) under a name of its own, then update.info naming it, with its
// Version, FileName and FileType RAW or ZIP.
//
// Each file is written beside its place and renamed into it only once complete and flushed, the
// database before the descriptor that names it, and the database a descriptor named until now
// stays: a desktop reading the location at any moment finds the old offer or the new one whole.
// Older databases of earlier publications are removed.
class UpdatePublisher {
public:
    // The moments between the steps, for tests that read the location there.
    enum class Step { DatabaseWritten, DatabaseInPlace, DescriptorInPlace };

    // host: not owned; receives the status-log lines.
    explicit UpdatePublisher(WorkerHost* host);

    void setStepHook(std::function<void(Step)> hook) { m_StepHook = std::move(hook); }
    // How long to wait for an import of the source database to end.
    void setLockTimeout(int nMilliseconds) { m_nLockTimeout = nMilliseconds; }

    // Publishes sourceDir's KLADR.sqlite into updateDir. version empty: the database's own stamp;
    // otherwise the published copy is stamped with it and the source left unchanged. True when
    // the offer is in place, or was already (the same version offered): alreadyOffered() tells.
    bool publish(const QString& sourceDir, const QString& updateDir, bool bZip, const QString& version);
    bool alreadyOffered() const { return m_bAlreadyOffered; }

private:
    bool writeDatabase(const QString& source, const QString& part, const QString& version);
    bool writeArchive(const QString& database, const QString& part);
    bool putInPlace(const QString& part, const QString& path);
    void removeEarlierOffers(const QString& updateDir, const QStringList& keep);
    void step(Step s);
    void log(const QString& text);

    WorkerHost* m_pHost;
    std::function<void(Step)> m_StepHook;
    int m_nLockTimeout;
    bool m_bAlreadyOffered = false;
};
