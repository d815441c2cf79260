#include "form_fixture.h"
#include "panel/entry_box.h"

#include "test_registry.h"

#include <QKeySequence>
#include <QLineEdit>

using namespace vx37;
using namespace vx37::testing;

// Runs on a desktop platform whose line edits delete to the end of the line on Ctrl+K
// (X11 under Xvfb); the offscreen platform has no such binding.
class EntryBoxTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QKeySequence::keyBindings(QKeySequence::DeleteEndOfLine)
                 .contains(QKeySequence(Qt::ControlModifier | Qt::Key_K)))
            QSKIP("this platform binds nothing to Ctrl+K in a line edit");
    }

    void plainLineEditLosesTheRestOfTheLine()
    {
        // The binding is live here: without the entry box's guard the text would go.
        QLineEdit plain;
        plain.setText(QStringLiteral("CR0 and more"));
        plain.setCursorPosition(3);
        QTest::keyClick(&plain, Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(plain.text(), QStringLiteral("CR0"));
    }

    void entryBoxKeepsItsTextOnTheChord()
    {
        EntryBox box;
        box.setText(QStringLiteral("CR0 and more"));
        box.setCursorPosition(3);
        QTest::keyClick(&box, Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(box.text(), QStringLiteral("CR0 and more"));
        QTest::keyClick(&box, Qt::Key_Delete);
        QCOMPARE(box.text(), QStringLiteral("CR0and more"));
    }

    void chordInText1OpensTheServiceViewAndKeepsTheText()
    {
        FormFixture f;
        f.openFullView();
        auto* text1 = f.widget<QLineEdit>("Text1");
        text1->setFocus();
        QTest::keyClicks(text1, QStringLiteral("CR PRESSURE"));
        text1->setCursorPosition(2);
        QTest::keyClick(text1, Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(f.state().height, kServiceHeight);
        QCOMPARE(text1->text(), QStringLiteral("CR PRESSURE"));
        QCOMPARE(f.state().text1, QStringLiteral("CR PRESSURE"));
    }
};

VX37_TEST(EntryBoxTest)
#include "test_entry_box.moc"
