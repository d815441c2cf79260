#pragma once

#include <QProcess>
#include <QStringList>

// vx37-ctl run to its end, with what it printed.
struct CtlRun
{
    int exitCode = -1;
    QString output;
    QString error;
};

inline CtlRun runCtl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(VX37_CTL_PATH), arguments);
    CtlRun run;
    if (!process.waitForFinished(30'000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished(1000);
        return run;
    }
    run.exitCode = process.exitCode();
    run.output = QString::fromUtf8(process.readAllStandardOutput());
    run.error = QString::fromUtf8(process.readAllStandardError());
    return run;
}
