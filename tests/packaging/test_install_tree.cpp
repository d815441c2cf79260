#include "installed_files.h"

#include "test_registry.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using namespace vx37::testing;

namespace {

// The value of a key of the [Desktop Entry] group.
QString desktopEntryValue(const QString& file, const QString& key)
{
    QFile entry(file);
    if (!entry.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inGroup = false;
    const QString prefix = key + u'=';
    for (const QByteArray& raw : entry.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'['))
            inGroup = line == QStringLiteral("[Desktop Entry]");
        else if (inGroup && line.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return {};
}

} // namespace

class InstallTreeTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        stage_ = std::make_unique<StagedInstall>();
        QVERIFY2(stage_->ok(), qPrintable(stage_->report()));
    }

    void installsEachFile_data()
    {
        QTest::addColumn<QString>("file");
        for (const QString& file : expectedInstalledFiles())
            QTest::newRow(qPrintable(file)) << file;
    }

    void installsEachFile()
    {
        QFETCH(QString, file);
        const QFileInfo info(stage_->path(file));
        QVERIFY2(info.isFile(), qPrintable(file + QStringLiteral(" is missing")));
        QVERIFY(info.size() > 0);
        const bool program = file.startsWith(QStringLiteral("bin/"));
        QCOMPARE(info.isExecutable(), program);
        QVERIFY(info.permissions().testFlag(QFileDevice::ReadOther));
    }

    // Nothing a package should not carry: no test programs, no stray build output.
    void installsNothingElse() { QCOMPARE(stage_->files(), expectedInstalledFiles()); }

    void iconsHaveTheSizeOfTheirFolder_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : kIconSizes)
            QTest::newRow(qPrintable(QStringLiteral("%1x%1").arg(size))) << size;
    }

    void iconsHaveTheSizeOfTheirFolder()
    {
        QFETCH(int, size);
        QImageReader icon(stage_->path(
            QStringLiteral("share/icons/hicolor/%1x%1/apps/vx37-panel.png").arg(size)));
        QCOMPARE(icon.format(), QByteArray("png"));
        QCOMPARE(icon.size(), QSize(size, size));
        const QImage image = icon.read();
        QVERIFY(image.hasAlphaChannel());
        // The corner is clear and the middle is drawn: an icon, not a blank square.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QVERIFY(qAlpha(image.pixel(size / 2, size / 2)) > 200);
    }

    void scalableIconIsAnSvgOfTheSameSquare()
    {
        QFile svg(stage_->path(QStringLiteral("share/icons/hicolor/scalable/apps/vx37-panel.svg")));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(svg.readAll());
        QVERIFY(text.contains(QStringLiteral("<svg")));
        QVERIFY(text.contains(QStringLiteral("viewBox=\"0 0 64 64\"")));
    }

    // What the menu starts and shows must be what was installed.
    void desktopEntryNamesInstalledFiles()
    {
        const QString entry = stage_->path(QStringLiteral("share/applications/vx37-panel.desktop"));
        const QString exec = desktopEntryValue(entry, QStringLiteral("Exec"));
        QCOMPARE(exec.section(u' ', 0, 0), QStringLiteral("vx37-panel"));
        QVERIFY(QFileInfo(stage_->path(QStringLiteral("bin/") + exec.section(u' ', 0, 0)))
                    .isExecutable());
        const QString icon = desktopEntryValue(entry, QStringLiteral("Icon"));
        QCOMPARE(icon, QStringLiteral("vx37-panel"));
        QVERIFY(QFileInfo::exists(
            stage_->path(QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(icon))));
        QCOMPARE(desktopEntryValue(entry, QStringLiteral("StartupWMClass")), exec);
    }

    void metainfoNamesTheDesktopEntryAndPrograms()
    {
        QFile file(
            stage_->path(QStringLiteral("share/metainfo/org.vx37control.panel.metainfo.xml")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString metainfo = QString::fromUtf8(file.readAll());
        QVERIFY(metainfo.contains(
            QStringLiteral("<launchable type=\"desktop-id\">vx37-panel.desktop</launchable>")));
        const QRegularExpression binary(QStringLiteral("<binary>([^<]+)</binary>"));
        int binaries = 0;
        for (auto it = binary.globalMatch(metainfo); it.hasNext(); ++binaries) {
            const QString name = it.next().captured(1);
            QVERIFY2(QFileInfo(stage_->path(QStringLiteral("bin/") + name)).isExecutable(),
                     qPrintable(name));
        }
        QVERIFY(binaries >= 1);
    }

    // The software centres read the metainfo together with the desktop entry and icon it
    // names; appstream checks them as installed, file names included.
    void appstreamAcceptsTheInstalledTree()
    {
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
        if (validator.isEmpty())
            QSKIP("appstreamcli is not installed (Debian package appstream)");
        const Run result =
            run(validator, {QStringLiteral("validate-tree"), QStringLiteral("--no-net"),
                            QStringLiteral("--strict"), stage_->root()});
        QVERIFY2(result.succeeded(), qPrintable(result.report()));
    }

    void manPagesAreCompressedAsDebianKeepsThem()
    {
        for (const QString& file : expectedInstalledFiles()) {
            if (!file.startsWith(QStringLiteral("share/man/")))
                continue;
            QFile page(stage_->path(file));
            QVERIFY(page.open(QIODevice::ReadOnly));
            QCOMPARE(page.read(2), QByteArray("\x1f\x8b"));
        }
    }

private:
    std::unique_ptr<StagedInstall> stage_;
};

VX37_TEST(InstallTreeTest)
#include "test_install_tree.moc"
