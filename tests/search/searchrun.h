// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One run of the search thread as the search tests drive it: the parameters of a search by
// text, and everything the thread reported.

#include "recordinghost.h"
#include "sqltext.h"
#include "threaddatabasefind.h"
#include "threadtimer.h"

#include <QList>
#include <QMutex>
#include <QStringList>

inline SearchParams paramsFor(
    const QString& locality, const QString& street, const QString& house = QString())
{
    SearchParams params;
    params.level(SearchParams::LocalityLevel) = { locality, SqlText::isMask(locality) };
    params.level(SearchParams::StreetLevel) = { street, SqlText::isMask(street) };
    params.house = house;
    return params;
}

// What one run of the search thread reported, signals in the order emitted.
struct SearchRun {
    QStringList events;
    QStringList stateLines;
    QList<SearchResult> results;
};

class EventLog {
public:
    void append(const QString& event)
    {
        QMutexLocker lock(&m_Mutex);
        m_Events << event;
    }
    QStringList events() const
    {
        QMutexLocker lock(&m_Mutex);
        return m_Events;
    }

private:
    mutable QMutex m_Mutex;
    QStringList m_Events;
};

inline SearchRun runSearch(
    const SearchParams& params, const QString& databaseFile, ThreadTimer* timer = nullptr)
{
    RecordingHost host;
    ThreadDataBaseFind thread;
    thread.setHost(&host);
    thread.setTimer(timer);
    thread.setDatabaseFile(databaseFile);

    EventLog log;
    SearchRun run;
    QObject::connect(
        &thread, &ThreadDataBaseFind::signalUpdateText, [&](const QString& s) { log.append("text " + s); });
    QObject::connect(&thread, QOverload<int, int>::of(&ThreadDataBaseFind::signalUpdateProgress),
        [&](int nValue, int nMax) { log.append(QStringLiteral("progress %1 %2").arg(nValue).arg(nMax)); });
    QObject::connect(&thread, &ThreadDataBaseFind::signalVisible,
        [&](bool v) { log.append(QStringLiteral("visible %1").arg(v)); });
    QObject::connect(&thread, &ThreadDataBaseFind::signalFind, [&](const SearchResult& result) {
        log.append(QStringLiteral("find %1").arg(result.rows.size()));
        run.results << result;
    });
    if (timer) {
        QObject::connect(
            timer, QOverload<int, int>::of(&ThreadTimer::signalUpdateProgress), &thread,
            [&](int nValue, int nMax) {
                log.append(QStringLiteral("timer value %1 %2").arg(nValue).arg(nMax));
            },
            Qt::DirectConnection);
        QObject::connect(
            timer, &ThreadTimer::signalSetProgressBools, &thread,
            [&](bool bText, bool bInverted) {
                log.append(QStringLiteral("timer bools %1 %2").arg(bText).arg(bInverted));
            },
            Qt::DirectConnection);
    }

    thread.find(params);
    if (!thread.waitIdle(60000))
        qFatal("search did not finish");
    run.events = log.events();
    run.stateLines = host.lines();
    return run;
}
