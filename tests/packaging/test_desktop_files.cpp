#include "installed_files.h"

#include "test_registry.h"

#include <QFile>
#include <QStandardPaths>
#include <QTest>

using namespace vx37::testing;

namespace {

QString packagingFile(const QString& name)
{
    return QStringLiteral(VX37_PACKAGING_DIR "/") + name;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The file as shipped, or with one line replaced, written where a validator can read it.
QString variant(QTemporaryDir& dir, const QString& name, const QByteArray& from,
                const QByteArray& to)
{
    QByteArray text = readAll(packagingFile(name));
    if (!from.isEmpty()) {
        if (!text.contains(from))
            qFatal("%s has no %s", qPrintable(name), from.constData());
        text.replace(from, to);
    }
    const QString path = dir.filePath(name);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString tool(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

} // namespace

// Debian's own validators on the desktop entry and the metainfo. Each is also given a
// broken copy, which it must refuse, so a validator that accepts anything fails here.
class DesktopFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void desktopEntryValidates_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<bool>("valid");
        QTest::newRow("as shipped") << QByteArray() << QByteArray() << true;
        QTest::newRow("no type") << QByteArray("Type=Application\n") << QByteArray() << false;
        QTest::newRow("unknown category")
            << QByteArray("Categories=Utility;") << QByteArray("Categories=Gadgets;") << false;
    }

    void desktopEntryValidates()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(bool, valid);
        const QString validator = tool("desktop-file-validate");
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed (Debian package desktop-file-utils)");
        QTemporaryDir dir;
        const Run result =
            run(validator, {variant(dir, QStringLiteral("vx37-panel.desktop"), from, to)});
        QVERIFY2(result.finished, qPrintable(result.report()));
        QVERIFY2(result.succeeded() == valid, qPrintable(result.report()));
        if (valid) {
            // Hints are advice; errors and warnings are not let through.
            QVERIFY2(!result.output.contains(QStringLiteral("error:")), qPrintable(result.output));
            QVERIFY2(!result.output.contains(QStringLiteral("warning:")),
                     qPrintable(result.output));
        }
    }

    void metainfoValidates_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<bool>("valid");
        QTest::newRow("as shipped") << QByteArray() << QByteArray() << true;
        QTest::newRow("no summary")
            << QByteArray("<summary>Control a VX37 video projector over its RS-232 serial "
                          "port</summary>")
            << QByteArray() << false;
        QTest::newRow("id not reverse-DNS")
            << QByteArray("<id>org.vx37control.panel</id>") << QByteArray("<id>vx37</id>") << false;
    }

    void metainfoValidates()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(bool, valid);
        const QString validator = tool("appstreamcli");
        if (validator.isEmpty())
            QSKIP("appstreamcli is not installed (Debian package appstream)");
        QTemporaryDir dir;
        const QString file =
            variant(dir, QStringLiteral("org.vx37control.panel.metainfo.xml"), from, to);
        // Strict: warnings and infos fail as errors do; no network for the URLs.
        const Run result = run(validator, {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                           QStringLiteral("--strict"), file});
        QVERIFY2(result.finished, qPrintable(result.report()));
        QVERIFY2(result.succeeded() == valid, qPrintable(result.report()));
    }
};

VX37_TEST(DesktopFilesTest)
#include "test_desktop_files.moc"
