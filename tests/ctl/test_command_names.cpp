#include "ctl_run.h"

#include "commands/button_table.h"
#include "ctl/command_names.h"
#include "replies/status_decoders.h"

#include "test_registry.h"

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
};

VX37_TEST(CommandNamesTest)
#include "test_command_names.moc"
