#include "designed_buttons.h"
#include "form_fixture.h"
#include "panel/monitor_line.h"

#include "test_registry.h"

#include <QImage>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <map>
#include <vector>

using namespace vx37;
using namespace vx37::testing;

namespace {

QImage renderFullView(FormFixture& f)
{
    f.openFullView();
    return f.form.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Pixels of exactly this colour inside a rectangle given in twips.
int countColour(const QImage& image, QRect twips, QRgb colour)
{
    const QRect area(FormFixture::pixels(twips.topLeft()),
                     FormFixture::pixels(twips.bottomRight()));
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
    return count;
}

// Every control that takes the focus and its designed tab index.
const std::map<QString, int>& designedTabIndices()
{
    static const std::map<QString, int> indices = [] {
        std::map<QString, int> m;
        const std::pair<const char*, int> rows[] = {
            {"Command17", 1},  {"Command1", 5},   {"Command2", 6},    {"Command3", 16},
            {"Command5", 17},  {"Command6", 18},  {"Command7", 19},   {"Command8", 20},
            {"Command9", 21},  {"Command13", 24}, {"Command14", 25},  {"Command16", 26},
            {"Command18", 27}, {"Command19", 28}, {"Command20", 29},  {"Command21", 30},
            {"Command22", 31}, {"Command23", 32}, {"Command24", 33},  {"Command25", 34},
            {"Command26", 35}, {"Command27", 36}, {"Command28", 37},  {"Command29", 38},
            {"Command31", 39}, {"Command32", 40}, {"Command33", 41},  {"Option1", 43},
            {"Option2", 44},   {"Command34", 50}, {"Command15", 51},  {"Command35", 52},
            {"Command44", 54}, {"Command45", 55}, {"Command46", 56},  {"Command47", 57},
            {"Command48", 58}, {"Command49", 59}, {"Command50", 61},  {"Command51", 62},
            {"Command54", 64}, {"Command56", 65}, {"Command57", 66},  {"Command58", 67},
            {"Command30", 69}, {"Option9", 71},   {"Option10", 72},   {"Command4", 73},
            {"Command10", 74}, {"Command11", 75}, {"Command39", 76},  {"Command40", 77},
            {"Command41", 78}, {"Command42", 79}, {"Command64", 81},  {"Command69", 82},
            {"Command72", 83}, {"Command73", 84}, {"Command74", 85},  {"Command81", 86},
            {"Command82", 87}, {"Text1", 92},     {"Command95", 93},  {"Command96", 94},
            {"Command12", 98}, {"Command36", 99}, {"Command52", 100},
        };
        for (const auto& [name, index] : rows)
            m.emplace(QString::fromLatin1(name), index);
        return m;
    }();
    return indices;
}

// The text of a monitor line each time it is drawn.
struct DrawnText final : QObject
{
    QString last;
    bool eventFilter(QObject* line, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            last = static_cast<MonitorLine*>(line)->text();
        return false;
    }
};

} // namespace

class LookTest : public QObject
{
    Q_OBJECT

private slots:
    void buttonsAreFilledInTheirColours_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<uint>("colour");
        const std::pair<const char*, uint> rows[] = {
            {"Command17", 0xC0FFC0}, {"Command25", 0xC0FFC0}, {"Command18", 0xFFC0C0},
            {"Command24", 0xFFC0C0}, {"Command27", 0xC0FFFF}, {"Command31", 0xC0FFFF},
            {"Command15", 0xC0FFFF}, {"Command56", 0xC0FFFF}, {"Command4", 0xC0FFFF},
            {"Command44", 0xC0FFFF}, {"Command69", 0xC0FFFF}, {"Command5", 0xFFE0C0},
            {"Command9", 0xFFE0C0},  {"Command6", 0xFF8000},  {"Command1", 0xFFC080},
            {"Command2", 0xFFC080},  {"Command30", 0xC0C0FF}, {"Command14", 0xC0C0FF},
            {"Command3", 0xC0C0FF},  {"Command13", 0x00C0C0},
        };
        for (const auto& [name, colour] : rows)
            QTest::newRow(name) << QByteArray(name) << colour;
    }

    void buttonsAreFilledInTheirColours()
    {
        QFETCH(QByteArray, name);
        QFETCH(uint, colour);
        FormFixture f;
        const QImage image = renderFullView(f);
        const DesignedButton& button = designed(name.constData());
        // Just inside the left bevel, halfway down: clear of the caption.
        const QPoint inside = FormFixture::pixels(button.origin + QPoint(button.left, button.top)) +
                              QPoint(3, FormFixture::pixels(button.height) / 2);
        QCOMPARE(QString::number(image.pixel(inside) & 0xFFFFFF, 16), QString::number(colour, 16));
    }

    void otherButtonsAndTheWindow_data()
    {
        QTest::addColumn<QPoint>("at"); // twips
        QTest::addColumn<uint>("colour");
        QTest::newRow("SEND") << (kFrame15 + QPoint(5760 + 45, 240 + 127)) << 0xC0FFC0u;
        QTest::newRow("CLS") << (kFrame15 + QPoint(6480 + 45, 240 + 127)) << 0xFFC0C0u;
        QTest::newRow("END") << QPoint(8400 + 45, 4320 + 187) << 0xC0C0C0u;
        QTest::newRow("view button") << QPoint(6600 + 45, 5040 + 187) << 0xC0C0C0u;
        QTest::newRow("window") << QPoint(60, 2000) << 0xC0C0C0u;
        QTest::newRow("inside a frame") << (kFrame5 + QPoint(60, 120)) << 0xC0C0C0u;
        QTest::newRow("TXD line") << (kFrame9 + QPoint(600 + 5610 - 60, 180 + 150)) << 0xFFFFFFu;
        QTest::newRow("RXD line") << (kFrame9 + QPoint(600 + 5616 - 60, 540 + 150)) << 0xFFFFFFu;
        QTest::newRow("status line") << (kFrame9 + QPoint(930 + 5295 - 60, 915 + 150)) << 0xFFFFFFu;
    }

    void otherButtonsAndTheWindow()
    {
        QFETCH(QPoint, at);
        QFETCH(uint, colour);
        FormFixture f;
        const QImage image = renderFullView(f);
        QCOMPARE(QString::number(image.pixel(FormFixture::pixels(at)) & 0xFFFFFF, 16),
                 QString::number(colour, 16));
    }

    void arrowOutline_data()
    {
        QTest::addColumn<QLine>("line"); // twips
        QTest::newRow("Line1") << QLine(1080, 2400, 1080, 2880);
        QTest::newRow("Line2") << QLine(2160, 2400, 2160, 2880);
        QTest::newRow("Line3") << QLine(3120, 2880, 3120, 3480);
        QTest::newRow("Line4") << QLine(2160, 3480, 2160, 3960);
        QTest::newRow("Line5") << QLine(1080, 3480, 1080, 3960);
        QTest::newRow("Line6") << QLine(120, 2880, 120, 3480);
        QTest::newRow("Line7") << QLine(1080, 2400, 2160, 2400);
        QTest::newRow("Line8") << QLine(120, 2880, 1080, 2880);
        QTest::newRow("Line9") << QLine(2160, 2880, 3120, 2880);
        QTest::newRow("Line10") << QLine(120, 3480, 1080, 3480);
        QTest::newRow("Line11") << QLine(1080, 3960, 2160, 3960);
        QTest::newRow("Line12") << QLine(2160, 3480, 3120, 3480);
    }

    void arrowOutline()
    {
        QFETCH(QLine, line);
        FormFixture f;
        const QImage image = renderFullView(f);
        const QPoint middle = FormFixture::pixels(line.center());
        // Two pixels wide, across the line; the window's grey a little further off.
        const QPoint across = line.dx() == 0 ? QPoint(1, 0) : QPoint(0, 1);
        const QRgb outline = 0x8080FF;
        QCOMPARE(image.pixel(middle) & 0xFFFFFF, outline);
        QCOMPARE(image.pixel(middle - across) & 0xFFFFFF, outline);
        QCOMPARE(image.pixel(middle + across) & 0xFFFFFF, QRgb(0xC0C0C0));
        QCOMPARE(image.pixel(middle - 2 * across) & 0xFFFFFF, QRgb(0xC0C0C0));
    }

    void statusTextIsRedAndTheTitleDarkRed()
    {
        FormFixture f;
        f.openFullView();
        f.click(designed("Command44").centre());
        f.comm.receive("00\r");
        const QImage image = f.form.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect status(kFrame9 + QPoint(930, 915), QSize(5295, 300));
        QVERIFY(countColour(image, status, 0xFF0000) > 10);
        QCOMPARE(countColour(image, status, 0x000000), 0);
        const QRect txd(kFrame9 + QPoint(600 + 30, 180 + 30), QSize(5610 - 60, 300 - 60));
        QVERIFY(countColour(image, txd, 0x000000) > 10); // the toolkit's text colour
        const QRect power(kFrame1 + QPoint(240, 240), QSize(1095, 255));
        QVERIFY(countColour(image, power, 0xC00000) > 10);
    }

    // Changes within a frame of the last paint wait for the frame's end: the last one is drawn.
    void monitorLineDrawsTheLastTextItIsGiven()
    {
        FormFixture f;
        f.key(Qt::Key_K, Qt::ControlModifier); // the service view: the lines in view
        auto* txd = f.widget<MonitorLine>("Label11");
        DrawnText drawn;
        txd->installEventFilter(&drawn);
        for (int i = 0; i < 20; ++i) {
            txd->setText(std::to_string(i));
            QCoreApplication::processEvents();
        }
        QTRY_COMPARE(drawn.last, QStringLiteral("19"));
    }

    void logoIsShownAtItsOwnSize()
    {
        FormFixture f;
        auto* image1 = f.widget<QLabel>("Image1");
        QCOMPARE(image1->geometry(), QRect(544, 8, 80, 26));
        QCOMPARE(image1->pixmap().size(), QSize(80, 26));
        QVERIFY(image1->pixmap().toImage().depth() >= 24);
    }

    void designedGeometry_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QRect>("twips"); // within the container
        QTest::newRow("Frame1") << QByteArray("Frame1") << QRect(120, 240, 1695, 975);
        QTest::newRow("Label2") << QByteArray("Label2") << QRect(720, 240, 1935, 255);
        QTest::newRow("Frame9") << QByteArray("Frame9") << QRect(45, 4920, 6312, 1290);
        QTest::newRow("Label12") << QByteArray("Label12") << QRect(600, 540, 5616, 300);
        QTest::newRow("Label22") << QByteArray("Label22") << QRect(930, 915, 5295, 300);
        QTest::newRow("Label19") << QByteArray("Label19") << QRect(6600, 3720, 1332, 252);
        QTest::newRow("Frame8") << QByteArray("Frame8") << QRect(3480, 3600, 2775, 1185);
        QTest::newRow("Frame13") << QByteArray("Frame13") << QRect(120, 480, 2535, 615);
        QTest::newRow("Option10") << QByteArray("Option10") << QRect(1440, 240, 975, 300);
        QTest::newRow("Command33") << QByteArray("Command33") << QRect(4080, 4200, 1815, 375);
        QTest::newRow("Command34") << QByteArray("Command34") << QRect(6600, 5040, 1200, 375);
        QTest::newRow("Frame14") << QByteArray("Frame14") << QRect(120, 6735, 4695, 1200);
        QTest::newRow("Text1") << QByteArray("Text1") << QRect(600, 165, 5055, 345);
        QTest::newRow("Command74") << QByteArray("Command74") << QRect(1920, 480, 1450, 255);
    }

    void designedGeometry()
    {
        QFETCH(QByteArray, name);
        QFETCH(QRect, twips);
        FormFixture f;
        const QRect expected(
            FormFixture::pixels(twips.topLeft()),
            QSize(FormFixture::pixels(twips.width()), FormFixture::pixels(twips.height())));
        QCOMPARE(f.widget(name.constData())->geometry(), expected);
    }

    void focusFollowsTheTabIndices()
    {
        FormFixture f;
        // Every control that can take the focus in view: the view button and the port
        // option frame shown as well.
        f.key(Qt::Key_K, Qt::ControlModifier);
        f.click(kCommand33Centre);
        f.widget("Command17")->setFocus();

        std::vector<std::pair<int, QString>> expected;
        for (const auto& [name, index] : designedTabIndices())
            expected.emplace_back(index, name);
        std::sort(expected.begin(), expected.end());

        QStringList wanted;
        for (const auto& entry : expected)
            wanted << entry.second;

        // The focus chain holds every control in tab-index order.
        QStringList chain;
        for (QWidget* w = f.widget("Command17"); chain.size() < static_cast<int>(expected.size());
             w = w->nextInFocusChain())
            if (w->focusPolicy() & Qt::TabFocus)
                chain << w->objectName();
        QCOMPARE(chain, wanted);

        // Tab walks it; as on any desktop, Tab enters an option group at one button (the
        // selected one here) and the arrow keys move within the group.
        wanted.removeAll(QStringLiteral("Option2"));
        wanted.removeAll(QStringLiteral("Option10"));
        wanted << wanted.front(); // and round again
        QStringList visited{QApplication::focusWidget()->objectName()};
        while (visited.size() < wanted.size()) {
            f.key(Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, wanted);
    }

    void focusStartsOnPowerOn()
    {
        FormFixture f;
        QCOMPARE(QApplication::focusWidget(), f.widget("Command17"));
    }

    void frame8CoversCom()
    {
        FormFixture f;
        const QPoint com = FormFixture::pixels(kCommand33Centre);
        QCOMPARE(f.form.childAt(com), f.widget("Command33"));
        f.click(kCommand33Centre);
        QWidget* top = f.form.childAt(com);
        QVERIFY(top == f.widget("Frame8") || f.widget("Frame8")->isAncestorOf(top));
        // Not a pixel of "COM" shows through: the frame looks the same without it.
        const QRect frame8 = f.widget("Frame8")->geometry();
        const QImage covering = f.form.grab(frame8).toImage();
        f.widget("Command33")->hide();
        QCOMPARE(f.form.grab(frame8).toImage(), covering);
        f.widget("Command33")->show();
        // and the option buttons are filled in the window's grey, not a button face
        const QPoint inOption10 = FormFixture::pixels(QPoint(5850, 4400)) - frame8.topLeft();
        QCOMPARE(QString::number(covering.pixel(inOption10) & 0xFFFFFF, 16),
                 QStringLiteral("c0c0c0"));

        // A click there now does not reach "COM", so the frame still hides 5000 ms after
        // the first click.
        f.clock.advance(4000);
        f.click(kCommand33Centre);
        f.clock.advance(1000);
        QVERIFY(!f.widget("Frame8")->isVisible());
        QCOMPARE(f.form.childAt(com), f.widget("Command33"));
    }
};

VX37_TEST(LookTest)
#include "test_look.moc"
