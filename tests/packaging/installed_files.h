#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace vx37::testing {

// What `cmake --install` puts under the prefix, relative to it.
QStringList expectedInstalledFiles();

inline const QList<int> kIconSizes{16, 22, 24, 32, 48, 64, 128, 256};

// A process run to its end with a generous bound; its output and error are kept.
struct Run
{
    int exitCode = -1;
    bool finished = false;
    QString output;
    QString error;

    bool succeeded() const { return finished && exitCode == 0; }
    QString report() const;
};

Run run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

// The build tree installed with prefix /usr into a scratch root, as a package stages it.
class StagedInstall
{
public:
    StagedInstall();

    bool ok() const { return install_.succeeded(); }
    QString report() const { return install_.report(); }
    QString root() const { return root_.path(); }
    // The prefix inside the scratch root: <root>/usr.
    QString prefix() const { return root_.path() + QStringLiteral("/usr"); }
    QString path(const QString& relative) const { return prefix() + u'/' + relative; }
    // Every file under the prefix, relative to it.
    QStringList files() const;

private:
    QTemporaryDir root_;
    Run install_;
};

} // namespace vx37::testing
