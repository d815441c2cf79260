#include "installed_files.h"

#include "test_registry.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

using namespace vx37::testing;

namespace {

QString builtPage(const QString& name)
{
    return QStringLiteral(VX37_BUILD_DIR "/man/") + name + QStringLiteral(".gz");
}

// The page as `man` shows it on an 80-column terminal, and what groff said about it.
Run render(const QString& page)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    return run(QStringLiteral("man"), {QStringLiteral("--warnings"), QStringLiteral("-l"), page},
               environment);
}

} // namespace

class ManPagesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("man")).isEmpty())
            QSKIP("man is not installed (Debian package man-db)");
    }

    void pagesRenderCleanly_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("name");
        QTest::newRow("vx37-panel") << QStringLiteral("vx37-panel.1")
                                    << QStringLiteral("vx37-panel - remote-control panel");
        QTest::newRow("vx37-ctl") << QStringLiteral("vx37-ctl.1")
                                  << QStringLiteral("vx37-ctl - send the VX37 projector's");
        if (VX37_HAS_SIM)
            QTest::newRow("vx37-sim") << QStringLiteral("vx37-sim.1")
                                      << QStringLiteral("vx37-sim - a VX37 video projector");
        if (VX37_HAS_VX37D)
            QTest::newRow("vx37d") << QStringLiteral("vx37d.1")
                                   << QStringLiteral("vx37d - the daemon that owns");
    }

    void pagesRenderCleanly()
    {
        QFETCH(QString, page);
        QFETCH(QString, name);
        QVERIFY2(QFileInfo::exists(builtPage(page)), qPrintable(builtPage(page)));
        const Run shown = render(builtPage(page));
        QVERIFY2(shown.succeeded(), qPrintable(shown.report()));
        // groff's warnings (a bad request, a line that cannot be filled) go to stderr.
        QVERIFY2(shown.error.trimmed().isEmpty(), qPrintable(shown.error));
        QVERIFY(shown.output.contains(QStringLiteral("NAME")));
        QVERIFY2(shown.output.contains(name), qPrintable(shown.output.left(400)));
        QVERIFY(shown.output.contains(QStringLiteral("SEE ALSO")));
    }

    // A technician at a new machine finds in the page how to reach the projector: which
    // device each port is, how to choose another, the group that may open it, and where a
    // USB adapter's stable name is. Paths are never hyphenated across lines.
    void panelPageExplainsSerialAccess_data()
    {
        QTest::addColumn<QString>("text");
        for (const char* text : {"/dev/ttyS0", "/dev/ttyS1", "VX37_COM1", "VX37_COM2", "dialout",
                                 "sudo adduser $USER dialout", "ls -l /dev/serial/by-id/",
                                 "VX37_COM1=/dev/serial/by-id/", "vx37-sim --link /tmp/vx37-com1"})
            QTest::newRow(text) << QString::fromUtf8(text);
    }

    void panelPageExplainsSerialAccess()
    {
        QFETCH(QString, text);
        const Run shown = render(builtPage(QStringLiteral("vx37-panel.1")));
        QVERIFY2(shown.succeeded(), qPrintable(shown.report()));
        QVERIFY2(shown.output.contains(text), qPrintable(text));
    }

    // Every option a program takes is in its page.
    void pageListsEveryOption_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("options");
        if (VX37_HAS_SIM)
            QTest::newRow("vx37-sim") << QStringLiteral("vx37-sim") << 20;
        if (VX37_HAS_VX37D)
            QTest::newRow("vx37d") << QStringLiteral("vx37d") << 12;
    }

    void pageListsEveryOption()
    {
        QFETCH(QString, program);
        QFETCH(int, options);
        const Run help =
            run(QStringLiteral(VX37_BUILD_DIR "/tools/") + program, {QStringLiteral("--help")});
        QVERIFY2(help.succeeded(), qPrintable(help.report()));
        const Run shown = render(builtPage(program + QStringLiteral(".1")));
        QVERIFY2(shown.succeeded(), qPrintable(shown.report()));
        const QRegularExpression option(QStringLiteral("(?<![\\w-])--[a-z][a-z-]+"));
        int found = 0;
        for (auto it = option.globalMatch(help.output); it.hasNext(); ++found) {
            const QString name = it.next().captured(0);
            QVERIFY2(shown.output.contains(name), qPrintable(name + " is not in its page"));
        }
        QVERIFY(found >= options);
    }
};

VX37_TEST(ManPagesTest)
#include "test_man_pages.moc"
