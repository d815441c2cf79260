#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

// vx37-sim running as its own process on a pseudo-terminal linked into a private
// temporary directory, with its transcript collected as it comes.
class SimProcess : public QObject
{
    Q_OBJECT

public:
    // options: the command line after the program name, blank-separated ("--power on").
    explicit SimProcess(const char* options = "");
    ~SimProcess() override;

    // The vx37-sim built with the tests.
    static QString program();

    // Started, and the path it printed is the link asked for.
    bool isServing() const { return serving_; }
    QString link() const { return link_; }
    QString printedPath() const { return printedPath_; }
    QString transcript() const { return transcript_; }
    // Transcript lines that contain text.
    int linesWith(const QString& text) const;
    // The volume the transcript last reported.
    std::optional<int> volume() const;

    // Sends a signal and waits for the end; the exit code, or -1 when it did not end.
    int stop(int signal);

private:
    QTemporaryDir dir_;
    QProcess process_;
    QString link_;
    QString printedPath_;
    QString transcript_;
    bool serving_ = false;
};
