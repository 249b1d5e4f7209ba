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
    m_bCancelled = true;
    wait();
}

bool AddressWorker::resolveLine(const QString& databaseFile, const QString& line)
{
    if (isRunning())
        return false;
    m_DatabaseFile = databaseFile;
    m_Line = line;
    m_bFile = false;
    m_bCancelled = false;
    start();
    return true;
}

bool AddressWorker::resolveFile(const QString& databaseFile, const AddressFile::Options& options)
{
    if (isRunning())
        return false;
    m_DatabaseFile = databaseFile;
    m_Options = options;
    m_bFile = true;
    m_bCancelled = false;
    start();
    return true;
}

void AddressWorker::run()
{
    AddressResolver resolver(m_DatabaseFile);
    if (!m_bFile) {
        emit signalLineResolved(m_Line, resolver.resolve(m_Line));
        return;
    }
    SignalReporter reporter(
        this, m_bCancelled, [this](int percent) { emit signalFileProgress(percent); },
        [this](const QString& text) { emit signalFileNote(text); });
    AddressFile::Summary summary;
    QString error;
    if (AddressFile::run(resolver, m_Options, reporter, &summary, &error))
        emit signalFileFinished(
            true, AddressFile::summaryText(summary) + QStringLiteral(". Записан файл ") + summary.output);
    else
        emit signalFileFinished(false, error);
}
