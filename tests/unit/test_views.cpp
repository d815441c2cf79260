#include "panel_fixture.h"

#include "test_registry.h"

#include <QTest>

using namespace vx37;
using vx37::testing::PanelFixture;

class ViewTest : public QObject
{
    Q_OBJECT

private:
    static void chord(PanelFixture& f, Qt::KeyboardModifiers extra = {})
    {
        f.panel.Form_KeyDown(Qt::Key_K, Qt::ControlModifier | extra);
    }

private slots:
    // Each row: a run of operations (K = chord, D = double-click on the logo, V = the
    // view button), then the height, the view button's caption and extendedPanel.
    void viewsFollowTheChordTheLogoAndTheViewButton_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("height");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("extendedPanel");
        QTest::addColumn<bool>("shown");
        QTest::newRow("start") << "" << 5350 << kCaptionShowData << 0 << false;
        QTest::newRow("logo before any chord") << "D" << 5350 << kCaptionShowData << 0 << false;
        QTest::newRow("chord: service view") << "K" << 7200 << kCaptionClose << 1 << true;
        QTest::newRow("chord, logo: full view") << "KD" << 9100 << kCaptionClose << 1 << true;
        QTest::newRow("CLOSE from service") << "KV" << 5350 << kCaptionShowData << 0 << true;
        QTest::newRow("CLOSE from full") << "KDV" << 5350 << kCaptionShowData << 0 << true;
        QTest::newRow("then data view") << "KVV" << 6645 << kCaptionHideData << 0 << true;
        QTest::newRow("then back") << "KVVV" << 5350 << kCaptionShowData << 0 << true;
        QTest::newRow("logo after CLOSE does nothing") << "KVD" << 5350 << kCaptionShowData << 0 << true;
        QTest::newRow("logo in the data view does nothing") << "KVVD" << 6645 << kCaptionHideData << 0 << true;
        QTest::newRow("chord in the full view") << "KDK" << 7200 << kCaptionClose << 1 << true;
        QTest::newRow("chord in the full view, logo") << "KDKD" << 9100 << kCaptionClose << 1 << true;
        QTest::newRow("chord from the data view") << "KVVK" << 7200 << kCaptionClose << 1 << true;
    }

    void viewsFollowTheChordTheLogoAndTheViewButton()
    {
        QFETCH(QString, steps);
        QFETCH(int, height);
        QFETCH(QString, caption);
        QFETCH(int, extendedPanel);
        QFETCH(bool, shown);
        PanelFixture f;
        const int left = f.form().left;
        const int top = f.form().top;
        for (const QChar step : steps) {
            if (step == u'K')
                chord(f);
            else if (step == u'D')
                f.panel.Image1_DblClick();
            else
                f.panel.Command34_Click();
        }
        QCOMPARE(f.form().height, height);
        QCOMPARE(f.form().command34Caption, caption);
        QCOMPARE(int(f.vars().extendedPanel), extendedPanel);
        QCOMPARE(f.form().command34Visible, shown);
        QCOMPARE(f.form().left, left);
        QCOMPARE(f.form().top, top);
    }

    void onlyCtrlAloneWithKIsTheChord_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("opens");
        QTest::newRow("Ctrl+K") << int(Qt::Key_K) << int(Qt::ControlModifier) << true;
        QTest::newRow("Ctrl+K on the keypad") << int(Qt::Key_K) << int(Qt::ControlModifier | Qt::KeypadModifier) << true;
        QTest::newRow("K alone") << int(Qt::Key_K) << 0 << false;
        QTest::newRow("Ctrl+Shift+K") << int(Qt::Key_K) << int(Qt::ControlModifier | Qt::ShiftModifier) << false;
        QTest::newRow("Ctrl+Alt+K") << int(Qt::Key_K) << int(Qt::ControlModifier | Qt::AltModifier) << false;
        QTest::newRow("Ctrl+J") << int(Qt::Key_J) << int(Qt::ControlModifier) << false;
        QTest::newRow("Ctrl alone") << int(Qt::Key_Control) << int(Qt::ControlModifier) << false;
    }

    void onlyCtrlAloneWithKIsTheChord()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, opens);
        PanelFixture f;
        f.panel.Form_KeyDown(key, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(f.form().height, opens ? kServiceHeight : kCompactHeight);
        QCOMPARE(f.form().command34Visible, opens);
    }

    void viewButtonRestartsTheOptionFrameTimer()
    {
        PanelFixture f;
        chord(f);
        f.panel.Command33_Click();
        f.clock.advance(3000);
        f.panel.Command34_Click();
        f.clock.advance(4999);
        QVERIFY(f.form().frame8Visible);
        f.clock.advance(1);
        QVERIFY(!f.form().frame8Visible);
    }

    void monitorLinesGoOnBelowTheWindowEdge()
    {
        PanelFixture f;
        QCOMPARE(f.form().height, kCompactHeight);
        f.click("Command44");
        f.reply("00\r");
        QCOMPARE(f.form().statusLine, std::string(" Power ON"));
        f.clock.advance(1000);
        QVERIFY(f.form().statusLine.empty());
    }
};

VX37_TEST(ViewTest)
#include "test_views.moc"
