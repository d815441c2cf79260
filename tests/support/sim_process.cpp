#include "sim_process.h"

#include <QRegularExpression>
#include <QTest>

#include <csignal>

SimProcess::SimProcess(const char* options)
{
    QStringList args = QString::fromLatin1(options).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    link_ = dir_.filePath(QStringLiteral("vx37-com1"));
    connect(&process_, &QProcess::readyReadStandardError, this,
            [this] { transcript_ += QString::fromUtf8(process_.readAllStandardError()); });
    process_.start(program(), args << QStringLiteral("--link") << link_);
    if (!process_.waitForStarted(5000))
        return;
    while (!process_.canReadLine()) {
        if (!process_.waitForReadyRead(5000))
            return;
    }
    printedPath_ = QString::fromUtf8(process_.readLine()).trimmed();
    serving_ = printedPath_ == link_;
}

QString SimProcess::program()
{
    return QStringLiteral(VX37_SIM_PATH);
}

SimProcess::~SimProcess()
{
    if (process_.state() != QProcess::NotRunning)
        stop(SIGTERM);
    // What the projector saw is the first thing to read when a test fails.
    if (QTest::currentTestFailed())
        qInfo("vx37-sim transcript:\n%s", qPrintable(transcript_));
}

int SimProcess::stop(int signal)
{
    ::kill(static_cast<pid_t>(process_.processId()), signal);
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(1000);
        return -1;
    }
    transcript_ += QString::fromUtf8(process_.readAllStandardError());
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

int SimProcess::linesWith(const QString& text) const
{
    int count = 0;
    for (const QString& line : transcript_.split(QLatin1Char('\n'))) {
        if (line.contains(text))
            ++count;
    }
    return count;
}

std::optional<int> SimProcess::volume() const
{
    static const QRegularExpression change(QStringLiteral("volume (?:\\d+ -> |stays )(\\d+)"));
    std::optional<int> last;
    for (auto match = change.globalMatch(transcript_); match.hasNext();)
        last = match.next().captured(1).toInt();
    return last;
}
