#include "form_fixture.h"
#include "panel/form1.h"

#include "test_registry.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

using namespace vx37;
using namespace vx37::testing;

namespace {

const QString kShowData = QStringLiteral("\u30c7\u30fc\u30bf\u3092\u8868\u793a\u3059\u308b");
const QString kHideData = QStringLiteral("\u30c7\u30fc\u30bf\u3092\u8868\u793a\u3057\u306a\u3044");

constexpr QPoint kText1Centre{120 + 600 + 2527, 8040 + 165 + 172};

// Counts the presses of one key that a widget itself receives.
class KeyCounter : public QObject
{
public:
    explicit KeyCounter(int counted) : key(counted) {}
    const int key;
    int presses = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == key)
            ++presses;
        return false;
    }
};

// The client height a window of this outer height (twips) has with the frame the
// platform reports.
int clientHeightFor(const Form1& form, int outerTwips)
{
    const int frameHeight = form.frameGeometry().height() - form.geometry().height();
    return FormFixture::pixels(outerTwips) - frameHeight;
}

} // namespace

class ViewsTest : public QObject
{
    Q_OBJECT

private slots:
    void serviceChord_data()
    {
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<bool>("opens");
        QTest::newRow("Ctrl+K") << Qt::Key_K << Qt::KeyboardModifiers(Qt::ControlModifier) << true;
        QTest::newRow("Ctrl+K on the keypad")
            << Qt::Key_K << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::KeypadModifier) << true;
        QTest::newRow("Ctrl+Shift+K")
            << Qt::Key_K << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier) << false;
        QTest::newRow("Ctrl+Alt+K")
            << Qt::Key_K << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier) << false;
        QTest::newRow("K alone") << Qt::Key_K << Qt::KeyboardModifiers() << false;
        QTest::newRow("Ctrl+J") << Qt::Key_J << Qt::KeyboardModifiers(Qt::ControlModifier) << false;
    }

    void serviceChord()
    {
        QFETCH(Qt::Key, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(bool, opens);
        FormFixture f;
        auto* command34 = f.widget<QPushButton>("Command34");
        f.key(key, modifiers);
        QCOMPARE(f.state().height, opens ? kServiceHeight : kCompactHeight);
        QCOMPARE(f.form.height(), clientHeightFor(f.form, opens ? kServiceHeight : kCompactHeight));
        QCOMPARE(command34->isVisible(), opens);
        if (opens)
            QCOMPARE(command34->text(), QStringLiteral("CLOSE"));
    }

    void chordWorksWhateverHasTheFocus()
    {
        FormFixture f;
        f.widget("Command33")->setFocus();
        f.key(Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(f.state().height, kServiceHeight);
        QVERIFY(f.widget("Command33")->hasFocus());
    }

    void chordInTheEntryBoxKeepsItsText()
    {
        FormFixture f;
        f.openFullView();
        f.click(kText1Centre);
        auto* text1 = f.widget<QLineEdit>("Text1");
        QVERIFY(text1->hasFocus());
        QTest::keyClicks(text1, QStringLiteral("CR0 and more"));
        text1->setCursorPosition(3);
        KeyCounter counter(Qt::Key_K);
        text1->installEventFilter(&counter);

        f.key(Qt::Key_K, Qt::ControlModifier);
        // The window saw the chord, and the box still got the key, but kept its text.
        QCOMPARE(f.state().height, kServiceHeight);
        QCOMPARE(counter.presses, 1);
        QCOMPARE(text1->text(), QStringLiteral("CR0 and more"));
        QCOMPARE(f.state().text1, QStringLiteral("CR0 and more"));
        QVERIFY(text1->hasFocus());
        // Other editing keys work as usual.
        f.key(Qt::Key_Backspace);
        QCOMPARE(text1->text(), QStringLiteral("CR and more"));
    }

    void doubleClickOnTheLogo()
    {
        FormFixture f;
        f.doubleClick(FormFixture::kImage1Centre);
        QCOMPARE(f.state().height, kCompactHeight); // no chord yet
        QVERIFY(!f.widget("Command34")->isVisible());

        f.key(Qt::Key_K, Qt::ControlModifier);
        f.doubleClick(FormFixture::kImage1Centre);
        QCOMPARE(f.state().height, kFullHeight);
        QCOMPARE(f.form.height(), clientHeightFor(f.form, kFullHeight));
        QCOMPARE(f.widget<QPushButton>("Command34")->text(), QStringLiteral("CLOSE"));

        // A single click does nothing; the chord in the full view returns to the service view.
        f.click(FormFixture::kImage1Centre);
        QCOMPARE(f.state().height, kFullHeight);
        f.key(Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(f.state().height, kServiceHeight);
    }

    void viewButtonCaptionsAndHeights()
    {
        FormFixture f;
        auto* command34 = f.widget<QPushButton>("Command34");
        f.openFullView();

        command34->setFocus();
        f.key(Qt::Key_Space); // "CLOSE"
        QCOMPARE(f.state().height, kCompactHeight);
        QCOMPARE(command34->text(), kShowData);
        QVERIFY(command34->isVisible());
        // Now below the window's edge, yet still in the focus order and pressed from there.
        QVERIFY(!f.form.rect().contains(command34->geometry()));
        f.widget("Command17")->setFocus();
        int tabs = 0;
        while (!command34->hasFocus() && tabs++ < 100)
            f.key(Qt::Key_Tab);
        QVERIFY(command34->hasFocus());
        f.key(Qt::Key_Space);
        QCOMPARE(f.state().height, kDataHeight);
        QCOMPARE(f.form.height(), clientHeightFor(f.form, kDataHeight));
        QCOMPARE(command34->text(), kHideData);
        f.key(Qt::Key_Return);
        QCOMPARE(f.state().height, kCompactHeight);
        QCOMPARE(command34->text(), kShowData);

        // After the view button a double-click on the logo does nothing.
        f.doubleClick(FormFixture::kImage1Centre);
        QCOMPARE(f.state().height, kCompactHeight);
    }

    void startUpPlacement()
    {
        FormFixture f;
        // Placed where start-up put it, cut to the compact view with its top edge kept.
        QCOMPARE(f.form.frameGeometry().topLeft(),
                 QPoint(FormFixture::pixels(f.state().left), FormFixture::pixels(f.state().top)));
        QCOMPARE(f.form.height(), clientHeightFor(f.form, kCompactHeight));
        QCOMPARE(f.form.width(), FormFixture::pixels(kClientWidth));
        QVERIFY(f.form.hasFocus() || f.widget("Command17")->hasFocus());
        QVERIFY(f.widget("Command17")->hasFocus());
        QCOMPARE(f.form.windowTitle(), QStringLiteral("ORVA   VX37   CONTROL   Ver.1.40"));
        QVERIFY(!f.form.windowIcon().isNull());
        // Fixed size: neither resized nor maximised.
        QCOMPARE(f.form.minimumSize(), f.form.maximumSize());
        QVERIFY(!(f.form.windowFlags() & Qt::WindowMaximizeButtonHint));

        const QPoint top = f.form.frameGeometry().topLeft();
        f.key(Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(f.form.frameGeometry().topLeft(), top);
    }

    void topEdgeAboveTheScreenIsKept()
    {
        FormFixture f;
        // A screen less high than the window as designed: start-up puts the top edge
        // above the screen, and nothing pulls it back.
        const ScreenMetrics small{800 * 15, 500 * 15, kClientWidth + 120, kClientHeight + 450};
        f.panel.Form_Load(small);
        QVERIFY(f.state().top < 0);
        QCOMPARE(f.form.frameGeometry().top(), FormFixture::pixels(f.state().top));
        QCOMPARE(f.form.height(), clientHeightFor(f.form, kCompactHeight));
    }

    void movedWindowStaysWhereTheOperatorPutIt()
    {
        FormFixture f;
        f.form.move(f.form.pos() + QPoint(40, 25));
        const QPoint moved = f.form.pos();
        f.key(Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(f.form.pos(), moved);
    }

    void frameAssumedUntilThePlatformReportsOne()
    {
        MemorySerialControl comm;
        VirtualClock clock;
        Panel panel{comm, PanelTimers{clock.createTimer(200), clock.createTimer(500),
                                      clock.createTimer(5000), clock.createTimer(1000)}};
        Form1 form(panel);
        QCOMPARE(form.frame(), Form1::kTypicalFrame);
        form.load();
        QCOMPARE(form.height(), FormFixture::pixels(kCompactHeight) - 30);
        form.setAssumedFrame(QMargins(3, 20, 3, 3));
        QCOMPARE(form.height(), FormFixture::pixels(kCompactHeight) - 23);
    }

    void fontsAreTheJapaneseFacesOrTheirSubstitutes()
    {
        FormFixture f;
        const QFont arrow = f.widget("Command5")->font();
        const QFont view = f.widget("Command34")->font();
        QCOMPARE(QFontInfo(arrow).family(), QStringLiteral("IPAPGothic"));
        QCOMPARE(QFontInfo(f.widget("Command6")->font()).family(), QStringLiteral("IPAGothic"));
        // Asked for straight by the substitute's name: the machines that run these tests
        // have the IPA faces (scripts/install-deps) and not the design's.
        QCOMPARE(arrow.family(), QStringLiteral("IPAPGothic"));
        QCOMPARE(f.widget("Command6")->font().family(), QStringLiteral("IPAGothic"));
        for (const char* name : {"Command5", "Command7", "Command8", "Command9"}) {
            const QString caption = f.widget<QPushButton>(name)->text();
            QVERIFY(QFontMetrics(f.widget(name)->font()).inFont(caption.at(0)));
        }
        for (const QChar c : kShowData + kHideData)
            QVERIFY(QFontMetrics(view).inFont(c));
        // Points at 96 dpi.
        QCOMPARE(QFontInfo(f.widget("Command17")->font()).pixelSize(), 12);
        QCOMPARE(QFontInfo(f.widget("Command44")->font()).pixelSize(), 11);
        QCOMPARE(QFontInfo(f.widget("Label11")->font()).pixelSize(), 13);
        QVERIFY(QFontInfo(f.form.font()).bold());
        QVERIFY(!QFontInfo(f.widget("Command6")->font()).bold());
    }
};

VX37_TEST(ViewsTest)
#include "test_views.moc"
