#include "ctl_run.h"

#include "commands/button_table.h"
#include "ctl/command_line.h"
#include "ctl/command_names.h"
#include "replies/status_decoders.h"

#include "test_registry.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <set>

using namespace vx37;
using namespace vx37::ctl;

class CommandNamesTest : public QObject
{
    Q_OBJECT

private slots:
    void everyButtonHasExactlyOneName()
    {
        for (const ButtonRow& row : buttonTable()) {
            const auto names =
                std::count_if(buttonNames().begin(), buttonNames().end(),
                              [&](const ButtonName& n) { return n.control == row.control; });
            QVERIFY2(names == 1, row.control.data());
        }
        for (const ButtonName& name : buttonNames())
            QVERIFY2(findButton(name.control), name.control.data());
    }

    // The queries no button sends are the ones only typed; each has a name.
    void everyTypedOnlyQueryHasAName()
    {
        std::set<std::string_view> typedOnly;
        for (const StatusQuery& query : statusQueries()) {
            if (std::none_of(buttonTable().begin(), buttonTable().end(),
                             [&](const ButtonRow& row) { return row.code == query.code; }))
                typedOnly.insert(query.code);
        }
        std::set<std::string_view> named;
        for (const TypedQueryName& name : typedQueryNames())
            named.insert(name.code);
        QCOMPARE(named, typedOnly);
    }

    // Each name stands for one command only, and --list shows each with its code.
    void listShowsEveryNameOnceWithItsCode()
    {
        const CtlRun list = runCtl({QStringLiteral("--list")});
        QCOMPARE(list.exitCode, 0);
        const QStringList lines = list.output.split(u'\n', Qt::SkipEmptyParts);
        const auto expect = [&lines](std::string_view name, std::string_view code) {
            const auto shown = std::count_if(lines.begin(), lines.end(), [&](const QString& line) {
                return line.section(u' ', 0, 0) == QLatin1StringView(name) &&
                       line.contains(u' ' + QLatin1StringView(code) + u' ');
            });
            QVERIFY2(shown == 1, name.data());
        };
        for (const ButtonName& name : buttonNames())
            expect(name.name, findButton(name.control)->code);
        for (const TypedQueryName& name : typedQueryNames())
            expect(name.name, name.code);
        QCOMPARE(lines.size(), qsizetype(buttonNames().size() + typedQueryNames().size() + 1));
    }

    // Rows: the arguments; what they parse to, as "action port baud json" and one
    // "code/time-out/frames" per command; or a part of the usage error.
    void parsesTheCommandLine_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("parsed");
        QTest::addColumn<QString>("error");
        const auto row = [](const char* name, const char* arguments, const char* parsed,
                            const char* error = "") {
            QTest::newRow(name) << QString::fromUtf8(arguments) << QString::fromUtf8(parsed)
                                << QString::fromUtf8(error);
        };
        row("defaults", "status", "run COM1 19200 text CR0/500/1");
        row("each its own time-out", "preset-real signal-video-auto brightness-up up",
            "run COM1 19200 text C12/2000/1 C32/5000/1 C20/25/1 C3C/500/1");
        row("options before and after", "--json power-on --port=COM2 --baud 9600",
            "run COM2 9600 json C00/500/1");
        row("port by path, time-out for all", "--port /dev/ttyUSB0 --timeout 50 status mode",
            "run /dev/ttyUSB0 19200 text CR0/50/1 CR1/50/1");
        row("repeat only the held", "--repeat 3 volume-up status",
            "run COM1 19200 text C09/200/3 CR0/500/1");
        row("raw and a name after --", "raw \"CF KEYDIS NONE\" -- lamp-time",
            "run COM1 19200 text CF KEYDIS NONE/2000/1 CR3/500/1");
        row("list", "--list", "list");
        row("help wins", "stauts --help", "help");
        row("repeat without a held button", "--repeat 3 status", "",
            "--repeat repeats held buttons");
        row("repeat out of range", "--repeat 0 up", "", "from 1 to 100000");
        row("speed", "--baud 115200 status", "", "--baud takes 19200 or 9600");
        row("port not a path", "--port ttyUSB0 status", "", "by its device path");
        row("raw with a line break", "raw \"CR0\rCR1\"", "", "holds a line break");
        row("no command", "--json", "", "no command given");
        row("a long unknown name is cut short", "status-status-status-status-status-status",
            "", "'status-status-status-status-status-statu... (41 characters in all)'");
    }

    void parsesTheCommandLine()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, parsed);
        QFETCH(QString, error);
        std::vector<std::string> args;
        static const QRegularExpression word(QStringLiteral("\"([^\"]*)\"|(\\S+)"));
        for (const auto& match : word.globalMatch(arguments))
            args.push_back(match.captured(match.lastCapturedIndex()).toStdString());
        const ParsedCommandLine result = parseCommandLine(args);
        using A = ParsedCommandLine::Action;
        if (!error.isEmpty()) {
            QCOMPARE(result.action, A::UsageError);
            QVERIFY2(QString::fromStdString(result.error).contains(error), result.error.c_str());
            return;
        }
        const CtlOptions& options = result.options;
        QString got = result.action == A::List   ? QStringLiteral("list")
                      : result.action == A::Help ? QStringLiteral("help")
                                                 : QStringLiteral("run %1 %2 %3")
                                                       .arg(QString::fromStdString(options.port))
                                                       .arg(options.baud)
                                                       .arg(options.json ? "json" : "text");
        if (result.action == A::Run)
            for (const CtlCommand& command : options.commands)
                got += QStringLiteral(" %1/%2/%3")
                           .arg(QString::fromStdString(command.code))
                           .arg(command.replyTimeoutMs)
                           .arg(command.frames);
        QCOMPARE(got, parsed);
    }
};

VX37_TEST(CommandNamesTest)
#include "test_command_names.moc"
