// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// velmora-tool run as a process, as a script would run it; VELMORA_TOOL names the program.

#include <QProcess>
#include <QStringList>

struct ToolRun {
    int exitCode = -1; // -1: still running when the wait ended
    QStringList out;
    QString err;
};

inline ToolRun runTool(const QStringList& arguments, int msecs = 240000)
{
    QProcess process;
    process.start(QStringLiteral(VELMORA_TOOL), arguments);
    ToolRun run;
    if (!process.waitForFinished(msecs))
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
