// SPDX-License-Identifier: GPL-3.0-or-later
#include "queuedworkerhost.h"

#include <QObject>
#include <QThread>

QueuedWorkerHost::QueuedWorkerHost(QObject* context, WorkerHost* target)
    : m_pContext(context)
    , m_pTarget(target)
{
}

template <typename Call> void QueuedWorkerHost::forward(Call call)
{
    if (QThread::currentThread() == m_pContext->thread())
        call(m_pTarget);
    else
        QMetaObject::invokeMethod(
            m_pContext, [call, target = m_pTarget] { call(target); }, Qt::QueuedConnection);
}

void QueuedWorkerHost::addState(const QString& text, bool bEncode)
{
    forward([text, bEncode](WorkerHost* target) { target->addState(text, bEncode); });
}

void QueuedWorkerHost::updateText(const QString& text)
{
    forward([text](WorkerHost* target) { target->updateText(text); });
}

void QueuedWorkerHost::updateProgress(int nValue, int nMax)
{
    forward([nValue, nMax](WorkerHost* target) { target->updateProgress(nValue, nMax); });
}

void QueuedWorkerHost::setVisible(bool bVisible)
{
    forward([bVisible](WorkerHost* target) { target->setVisible(bVisible); });
}

void QueuedWorkerHost::setDataBaseReady(bool bReady)
{
    forward([bReady](WorkerHost* target) { target->setDataBaseReady(bReady); });
}
