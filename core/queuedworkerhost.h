// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "workerhost.h"

class QObject;

// Hands every report of a worker to a host that belongs to another thread (the window's) as a
// queued call on that thread, so a worker never touches the target, its widgets included, from
// its own thread. Queued calls to one object run in the order they were posted, so the reports
// of each thread arrive in the order made. Calls made on the target's own thread go straight
// through: the update copy runs there and must show its progress at once.
class QueuedWorkerHost : public WorkerHost {
public:
    // context: an object of the target's thread that outlives this host; calls still queued
    // when it is destroyed are dropped. target: not owned; lives as long as context.
    QueuedWorkerHost(QObject* context, WorkerHost* target);

    void addState(const QString& text, bool bEncode) override;
    void updateText(const QString& text) override;
    void updateProgress(int nValue, int nMax) override;
    void setVisible(bool bVisible) override;
    void setDataBaseReady(bool bReady) override;

private:
    template <typename Call> void forward(Call call);

    QObject* m_pContext;
    WorkerHost* m_pTarget;
};
