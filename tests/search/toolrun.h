// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// velmora-tool run as a process, as a script would run it; VELMORA_TOOL names the program.

#include <QProcess>
#include <QStringList>

struct ToolRun {
    int exitCode = -1; // -1: still running when the wait ended
    QStringList out; // standard output's lines, empty ones left out
    QString outText; // standard output as written
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
    run.outText = QString::fromUtf8(process.readAllStandardOutput());
    run.out = run.outText.split('\n', Qt::SkipEmptyParts);
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
