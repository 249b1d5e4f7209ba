// SPDX-License-Identifier: GPL-3.0-or-later
#include "addressworker.h"

namespace {

class SignalReporter : public AddressFile::Reporter {
public:
    SignalReporter(AddressWorker* worker, const std::atomic_bool& cancelled,
        std::function<void(int)> progress, std::function<void(const QString&)> note)
        : m_Cancelled(cancelled)
        , m_Progress(std::move(progress))
        , m_Note(std::move(note))
    {
        Q_UNUSED(worker);
    }
    void progress(qint64 nDone, qint64 nTotal) override
    {
        const int percent = nTotal > 0 ? int(nDone * 100 / nTotal) : 100;
        if (percent != m_nPercent) {
            m_nPercent = percent;
            m_Progress(percent);
        }
    }
    void note(qint64 nLine, const QString& text) override
    {
        m_Note(QStringLiteral("строка %1: %2").arg(nLine).arg(text));
    }
    bool isCancelled() const override { return m_Cancelled; }

private:
    const std::atomic_bool& m_Cancelled;
    std::function<void(int)> m_Progress;
    std::function<void(const QString&)> m_Note;
    int m_nPercent = -1;
};

} // namespace

AddressWorker::AddressWorker(QObject* parent)
    : QThread(parent)
{
    qRegisterMetaType<AddressAnswer>();
}

AddressWorker::~AddressWorker()
{
    {
        QMutexLocker lock(&m_Mutex);
        m_bStop = true;
        m_bCancelled = true;
        m_Wake.wakeAll();
    }
    // The resolver's connection belongs to the thread: it goes as the run ends.
    wait();
}

bool AddressWorker::resolveLine(const QString& databaseFile, const QString& line)
{
    Job job;
    job.databaseFile = databaseFile;
    job.line = line;
    return post(job);
}

bool AddressWorker::resolveFile(const QString& databaseFile, const AddressFile::Options& options)
{
    Job job;
    job.databaseFile = databaseFile;
    job.options = options;
    job.bFile = true;
    return post(job);
}

bool AddressWorker::post(const Job& job)
{
    QMutexLocker lock(&m_Mutex);
    if (m_bBusy || m_bStop)
        return false;
    m_Job = job;
    m_bPending = true;
    m_bBusy = true;
    m_bCancelled = false;
    if (!isRunning())
        start();
    m_Wake.wakeAll();
    return true;
}

void AddressWorker::run()
{
    std::unique_ptr<AddressResolver> resolver;
    for (;;) {
        Job job;
        {
            QMutexLocker lock(&m_Mutex);
            while (!m_bPending && !m_bStop)
                m_Wake.wait(&m_Mutex);
            if (m_bStop)
                break;
            job = m_Job;
            m_bPending = false;
        }
        runJob(resolver, job);
    }
    resolver.reset();
}

void AddressWorker::runJob(std::unique_ptr<AddressResolver>& resolver, const Job& job)
{
    // Kept while it reads the file the path names now; a failed one is tried again.
    if (!resolver || !resolver->isReady() || !resolver->readsFile(job.databaseFile)) {
        resolver.reset();
        resolver = std::make_unique<AddressResolver>(job.databaseFile);
    }
    // Idle before the last signal: whoever it reaches may hand over the next job at once.
    const auto done = [this] {
        QMutexLocker lock(&m_Mutex);
        m_bBusy = false;
    };
    if (!job.bFile) {
        const AddressAnswer answer = resolver->resolve(job.line);
        done();
        emit signalLineResolved(job.line, answer);
        return;
    }
    SignalReporter reporter(
        this, m_bCancelled, [this](int percent) { emit signalFileProgress(percent); },
        [this](const QString& text) { emit signalFileNote(text); });
    AddressFile::Summary summary;
    QString error;
    const bool bSuccess = AddressFile::run(*resolver, job.options, reporter, &summary, &error);
    done();
    if (bSuccess)
        emit signalFileFinished(
            true, AddressFile::summaryText(summary) + QStringLiteral(". Записан файл ") + summary.output);
    else
        emit signalFileFinished(false, error);
}
