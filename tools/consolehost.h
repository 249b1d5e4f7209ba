// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "workerhost.h"

#include <QMutex>
#include <QTime>

#include <cstdio>

// Prints each status-log line as the window shows it, the moment it is issued, from whichever
// thread issues it.
class ConsoleHost : public WorkerHost {
public:
    explicit ConsoleHost(std::FILE* stream)
        : m_pStream(stream)
    {
    }

    void addState(const QString& text, bool bEncode) override
    {
        // One write for the line and its end: standard error is unbuffered.
        const QByteArray line
            = formatStateLine(QTime::currentTime(), decodeStateText(text, bEncode)).toUtf8() + '\n';
        QMutexLocker lock(&m_Mutex);
        std::fwrite(line.constData(), 1, size_t(line.size()), m_pStream);
        std::fflush(m_pStream);
    }

private:
    std::FILE* m_pStream;
    QMutex m_Mutex;
};
