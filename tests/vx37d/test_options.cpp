#include "options.h"

#include "test_registry.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace vx37::daemon;

// vx37d's options: arguments and configuration file to what it runs with, or to the
// fault it reports.
class OptionsTest : public QObject
{
    Q_OBJECT

private slots:
    void options_data()
    {
        QTest::addColumn<QStringList>("args"); // {config}, {password}: the files below
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<int>("mode");         // the password file's
        QTest::addColumn<QString>("expected"); // what it runs with, or a part of the fault
        const auto row = [](const char* name, QStringList args, QByteArray config, int mode,
                            const char* expected) {
            QTest::newRow(name) << args << config << mode << QString::fromLatin1(expected);
        };
        const QStringList password{"--password-file", "{password}"};
        row("defaults", {}, {}, 0, "COM1 19200 127.0.0.1:4352 127.0.0.1:4353 - poll 5 at most 64/8");
        row("the command line wins", {"--config", "{config}", "--poll", "9"},
            "# comment\n\npoll = 7\nbaud = 9600\nmax-per-address=3\n", 0,
            "COM1 9600 127.0.0.1:4352 127.0.0.1:4353 - poll 9 at most 64/3");
        row("IPv6, any port", {"--pjlink", "[::1]:0"}, {}, 0, "[::1]:0");
        row("no password meant", {"--pjlink", "*:4352", "--no-password"}, {}, 0, "*:4352 127");
        row("shared on the network, PJLink off", {"--config", "{config}"},
            "share = *:4353\npjlink = off\n", 0, "off *:4353 -");
        row("every front-end off", {"--pjlink", "off", "--share", "off", "--http", "off"}, {}, 0, "would serve nobody");
        row("password 0600", password, {}, 0600, "*:4352 127.0.0.1:4353 secret");
        row("password 0640", password, {}, 0640, "is open to others (mode 0640)");
        row("password 0620", password, {}, 0620, "is open to others (mode 0620)");
        row("a credential 0440", {"--password-file", "{credential}"}, {}, 0440, "*:4352 127.0.0.1:4353 secret");
        row("a credential 0444", {"--password-file", "{credential}"}, {}, 0444, "(mode 0444)");
        row("password and no-password", password + QStringList{"--no-password"}, {}, 0600,
            "keep one of them");
        row("network without a password", {"--pjlink", "*:4352"}, {}, 0, "would let anyone");
        row("the web panel and a broker", {"--mqtt", "mqtts://ha@[::1]:8884/"}, {}, 0,
            "64/8 http 127.0.0.1:8037 mqtt s ha ::1 8884");
        row("a broker's default port", {"--mqtt", "mqtt://broker.lan"}, {}, 0, "mqtt  - broker.lan 1883");
        row("a broker URL of no host", {"--mqtt", "mqtt://ha@:1883"}, {}, 0, "takes mqtt://[USER@]HOST");
        row("the web panel on the network", {"--http", "*:8037"}, {}, 0, "the web panel on *:8037 without");
        row("HTTPS half given", {"--tls-cert", "c.pem"}, {}, 0, "needs both --tls-cert and --tls-key");
        row("unknown option", {"--bogus"}, {}, 0, "unknown option --bogus");
        row("poll 0", {"--poll=0"}, {}, 0, "--poll takes seconds, from 1 to 3600");
        row("per address 0", {"--max-per-address", "0"}, {}, 0, "takes a count, from 1 to 1000");
        row("a control character", {"--name", "a\tb"}, {}, 0, "holds a control character");
        row("a line of no key", {"--config", "{config}"}, "poll 7\n", 0, ":1: not a \"key");
        row("help", {"--port", "x", "--help"}, {}, 0, "help");
    }

    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, config);
        QFETCH(int, mode);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const auto write = [&dir](const char* name, const QByteArray& bytes) {
            QFile file(dir.filePath(name));
            return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        };
        QVERIFY(write("config", config) && write("password", "secret\n"));
        QVERIFY(::chmod(qPrintable(dir.filePath("password")), static_cast<mode_t>(mode)) == 0);
        qputenv("CREDENTIALS_DIRECTORY", args.contains("{credential}") ? dir.path().toUtf8() : "");
        std::vector<std::string> given;
        for (QString arg : args)
            given.push_back(arg.replace("{config}", dir.filePath("config"))
                                .replace(QRegularExpression("\\{(password|credential)\\}"),
                                         dir.filePath("password"))
                                .toStdString());
        const ParsedOptions parsed = parseOptions(given);
        const ServerPlan plan = planServer(parsed.options);
        const Options& o = parsed.options;
        QString actual =
            QStringLiteral("%1 %2 %3 %4 %5 poll %6 at most %7/%8")
                .arg(QString::fromStdString(o.port))
                .arg(o.baud)
                .arg(plan.pjlink ? plan.pjlink->text() : "off",
                     plan.share ? plan.share->text() : "off",
                     QString::fromStdString(plan.password.empty() ? "-" : plan.password))
                .arg(o.pollSeconds)
                .arg(o.maxConnections)
                .arg(o.maxPerAddress);
        actual += QStringLiteral(" http %1").arg(plan.http ? plan.http->text() : "off");
        if (plan.mqtt)
            actual += QStringLiteral(" mqtt %1 %2 %3 %4")
                          .arg(plan.mqtt->tls ? "s" : "", plan.mqtt->user.empty() ? "-" : plan.mqtt->user.c_str(),
                               plan.mqtt->host.c_str())
                          .arg(plan.mqtt->port);
        if (parsed.action != ParsedOptions::Action::Run)
            actual = parsed.error.empty() ? "help" : QString::fromStdString(parsed.error);
        else if (!plan.error.empty())
            actual = QString::fromStdString(plan.error);
        QVERIFY2(actual.contains(expected), qPrintable(actual));
    }
};

VX37_TEST(OptionsTest)
#include "test_options.moc"
