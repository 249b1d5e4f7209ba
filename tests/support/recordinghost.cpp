// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordinghost.h"

#include <QThread>

void RecordingHost::record(const QString& call)
{
    m_Calls << call;
    m_CallThreads << QThread::currentThread();
}

void RecordingHost::addState(const QString& text, bool bEncode)
{
    const QString line = decodeStateText(text, bEncode);
    QMutexLocker lock(&m_Mutex);
    m_Lines << line;
    record(QStringLiteral("state ") + line);
}

void RecordingHost::updateText(const QString& text)
{
    QMutexLocker lock(&m_Mutex);
    m_Texts << text;
    record(QStringLiteral("text ") + text);
}

void RecordingHost::updateProgress(int nValue, int nMax)
{
    QMutexLocker lock(&m_Mutex);
    m_Progress << Progress(nValue, nMax);
    record(QStringLiteral("progress %1 %2").arg(nValue).arg(nMax));
}

void RecordingHost::setVisible(bool bVisible)
{
    QMutexLocker lock(&m_Mutex);
    m_Visible << bVisible;
    record(QStringLiteral("visible %1").arg(int(bVisible)));
}

void RecordingHost::setDataBaseReady(bool bReady)
{
    QMutexLocker lock(&m_Mutex);
    m_bReady = bReady;
    ++m_nReadyCalls;
    record(QStringLiteral("ready %1").arg(int(bReady)));
}

QStringList RecordingHost::lines() const
{
    QMutexLocker lock(&m_Mutex);
    return m_Lines;
}

QStringList RecordingHost::texts() const
{
    QMutexLocker lock(&m_Mutex);
    return m_Texts;
}

QList<RecordingHost::Progress> RecordingHost::progress() const
{
    QMutexLocker lock(&m_Mutex);
    return m_Progress;
}

QList<bool> RecordingHost::visible() const
{
    QMutexLocker lock(&m_Mutex);
    return m_Visible;
}

bool RecordingHost::ready() const
{
    QMutexLocker lock(&m_Mutex);
    return m_bReady;
}

int RecordingHost::readyCalls() const
{
    QMutexLocker lock(&m_Mutex);
    return m_nReadyCalls;
}

QStringList RecordingHost::calls() const
{
    QMutexLocker lock(&m_Mutex);
    return m_Calls;
}

QList<QThread*> RecordingHost::callThreads() const
{
    QMutexLocker lock(&m_Mutex);
    return m_CallThreads;
}
