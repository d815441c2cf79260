#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

// vx37-ctl run to its end, with what it printed.
struct CtlRun
{
    int exitCode = -1;
    QString output;
    QString error;
};

// outputFile: where standard output goes instead of the pipe (/dev/full, say).
inline CtlRun runCtl(const QStringList& arguments, const QString& outputFile = {})
{
    QProcess process;
    if (!outputFile.isEmpty())
        process.setStandardOutputFile(outputFile);
    process.start(QStringLiteral(VX37_CTL_PATH), arguments);
    CtlRun run;
    // The event loop runs meanwhile: the simulator's transcript must keep flowing, or the
    // simulator would stop reading the line once its transcript pipe is full.
    QElapsedTimer elapsed;
    elapsed.start();
    while (!process.waitForFinished(20) && elapsed.elapsed() < 30'000)
        QCoreApplication::processEvents();
    if (process.state() != QProcess::NotRunning || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished(1000);
        return run;
    }
    run.exitCode = process.exitCode();
    run.output = QString::fromUtf8(process.readAllStandardOutput());
    run.error = QString::fromUtf8(process.readAllStandardError());
    return run;
}
