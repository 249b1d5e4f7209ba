// SPDX-License-Identifier: GPL-3.0-or-later
#include "queuedworkerhost.h"
#include "recordinghost.h"

#include <QTest>
#include <QThread>

#include <memory>

class TestQueuedWorkerHost : public QObject {
    Q_OBJECT
private slots:
    void workerCallsArriveQueuedInOrder();
    void callsOnTheTargetThreadGoStraightThrough();
    void pendingCallsDieWithTheContext();
};

namespace {

// What a worker reports, round by round, and what the target must see for it.
void reportRounds(WorkerHost& host, int rounds)
{
    for (int i = 0; i < rounds; ++i) {
        host.addState(QString::number(i), false);
        host.updateText(QStringLiteral("t%1").arg(i));
        host.updateProgress(i, i % 3 ? -1 : rounds);
        host.setVisible(i % 2);
        host.setDataBaseReady(i % 2 == 0);
    }
}

QStringList expectedCalls(int rounds)
{
    QStringList calls;
    for (int i = 0; i < rounds; ++i)
        calls << QStringLiteral("state %1").arg(i) << QStringLiteral("text t%1").arg(i)
              << QStringLiteral("progress %1 %2").arg(i).arg(i % 3 ? -1 : rounds)
              << QStringLiteral("visible %1").arg(i % 2) << QStringLiteral("ready %1").arg(int(i % 2 == 0));
    return calls;
}

} // namespace

void TestQueuedWorkerHost::workerCallsArriveQueuedInOrder()
{
    const int rounds = 200;
    QObject context;
    RecordingHost target;
    QueuedWorkerHost host(&context, &target);

    std::unique_ptr<QThread> worker(QThread::create([&host] { reportRounds(host, rounds); }));
    worker->start();
    QVERIFY(worker->wait(60000));
    // This thread has not run its event loop yet: had a call gone straight to the target from
    // the worker, it would show here.
    QVERIFY(target.calls().isEmpty());

    QTRY_COMPARE(target.calls().size(), 5 * rounds);
    QCOMPARE(target.calls(), expectedCalls(rounds));
    for (QThread* thread : target.callThreads())
        QCOMPARE(thread, QThread::currentThread());
}

void TestQueuedWorkerHost::callsOnTheTargetThreadGoStraightThrough()
{
    QObject context;
    RecordingHost target;
    QueuedWorkerHost host(&context, &target);
    reportRounds(host, 3);
    QCOMPARE(target.calls(), expectedCalls(3));
}

void TestQueuedWorkerHost::pendingCallsDieWithTheContext()
{
    RecordingHost target;
    auto context = std::make_unique<QObject>();
    QueuedWorkerHost host(context.get(), &target);
    std::unique_ptr<QThread> worker(QThread::create([&host] { reportRounds(host, 10); }));
    worker->start();
    QVERIFY(worker->wait(60000));
    context.reset();
    QCoreApplication::processEvents();
    QVERIFY(target.calls().isEmpty());
}

QTEST_GUILESS_MAIN(TestQueuedWorkerHost)
#include "tst_queuedworkerhost.moc"
