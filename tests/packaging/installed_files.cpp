#include "installed_files.h"

#include <QDir>
#include <QDirIterator>

namespace vx37::testing {

QStringList expectedInstalledFiles()
{
    QStringList files{
        QStringLiteral("bin/vx37-panel"),
        QStringLiteral("share/applications/vx37-panel.desktop"),
        QStringLiteral("share/doc/vx37-panel/changelog.gz"),
        QStringLiteral("share/doc/vx37-panel/copyright"),
        QStringLiteral("share/doc/vx37-panel/network.md"),
        QStringLiteral("share/metainfo/org.vx37control.panel.metainfo.xml"),
        QStringLiteral("share/icons/hicolor/scalable/apps/vx37-panel.svg"),
        QStringLiteral("share/man/man1/vx37-panel.1.gz"),
    };
    for (const int size : kIconSizes)
        files << QStringLiteral("share/icons/hicolor/%1x%1/apps/vx37-panel.png").arg(size);
    files << QStringLiteral("bin/vx37-ctl") << QStringLiteral("share/man/man1/vx37-ctl.1.gz")
          << QStringLiteral("share/bash-completion/completions/vx37-ctl");
    if (VX37_HAS_SIM)
        files << QStringLiteral("bin/vx37-sim") << QStringLiteral("share/man/man1/vx37-sim.1.gz");
    if (VX37_HAS_VX37D)
        files << QStringLiteral("bin/vx37d")
              << QStringLiteral("share/man/man1/vx37d.1.gz")
              << QStringLiteral("lib/systemd/system/vx37d@.service")
              << QStringLiteral("share/doc/vx37-panel/examples/vx37d.conf");
    files.sort();
    return files;
}

QString Run::report() const
{
    if (!finished)
        return QStringLiteral("did not finish: %1").arg(error);
    return QStringLiteral("exit code %1\n%2%3").arg(exitCode).arg(output, error);
}

Run run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run result;
    if (!process.waitForStarted(10'000)) {
        result.error = process.errorString();
        return result;
    }
    process.closeWriteChannel();
    result.finished =
        process.waitForFinished(60'000) && process.exitStatus() == QProcess::NormalExit;
    if (!result.finished)
        process.kill();
    result.exitCode = process.exitCode();
    result.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.error += QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

StagedInstall::StagedInstall()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DESTDIR"), root_.path());
    install_ = run(QStringLiteral(VX37_CMAKE),
                   {QStringLiteral("--install"), QStringLiteral(VX37_BUILD_DIR),
                    QStringLiteral("--prefix"), QStringLiteral("/usr")},
                   environment);
}

QStringList StagedInstall::files() const
{
    QStringList found;
    const QDir base(prefix());
    QDirIterator it(prefix(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << base.relativeFilePath(it.next());
    found.sort();
    return found;
}

} // namespace vx37::testing
