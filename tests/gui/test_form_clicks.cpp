#include "designed_buttons.h"
#include "form_fixture.h"
#include "panel/monitor_line.h"

#include "test_registry.h"

#include <QAccessible>
#include <QFrame>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

using namespace vx37;
using namespace vx37::testing;

namespace {

// What the port failure box showed, read while it is open.
struct ShownBox
{
    bool shown = false;
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    int buttonCount = 0;
};

// Answers the next modal box with OK, noting what it showed.
void answerNextBox(ShownBox& seen)
{
    QTimer::singleShot(0, qApp, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen.shown = true;
        seen.caption = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        seen.buttonCount = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
}

// Types each character as one key press carrying its text, as a keyboard layout does for
// characters that have no key of their own in QTest.
void typeText(QWidget* widget, const QString& text)
{
    for (const char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, one);
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, one);
        QApplication::sendEvent(widget, &release);
    }
}

} // namespace

class FormClicksTest : public QObject
{
    Q_OBJECT

private slots:
    void eachTableButtonSendsItsFrame_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < static_cast<int>(kDesignedButtons.size()); ++i)
            QTest::newRow(kDesignedButtons[static_cast<std::size_t>(i)].name) << i;
    }

    void eachTableButtonSendsItsFrame()
    {
        QFETCH(int, row);
        const DesignedButton& button = kDesignedButtons[static_cast<std::size_t>(row)];
        FormFixture f;
        f.openFullView();
        f.comm.clearWritten();

        if (button.held) {
            f.press(button.centre());
            f.release(button.centre());
        } else {
            f.click(button.centre());
        }
        QCOMPARE(f.comm.writes().size(), std::size_t{1});
        QCOMPARE(f.comm.written(), std::string(button.code) + '\r');
        QVERIFY(f.widget(button.name)->updatesEnabled()); // held back only while it sent
        // The control under the designed centre is the named one.
        QCOMPARE(f.form.childAt(FormFixture::pixels(button.centre()))->objectName(),
                 QString::fromLatin1(button.name));
    }

    void lowerBandsAreOutOfReachInTheCompactView()
    {
        FormFixture f;
        const QPoint status = FormFixture::pixels(kDesignedButtons[44].centre()); // "STATUS"
        const QPoint rgb = FormFixture::pixels(kDesignedButtons[50].centre());    // PC1 "RGB"
        QCOMPARE(f.form.childAt(status), nullptr);
        QCOMPARE(f.form.childAt(rgb), nullptr);
        f.openFullView();
        QVERIFY(f.form.childAt(status));
        QVERIFY(f.form.childAt(rgb));
    }

    void comShowsTheOptionFrameForFiveSeconds()
    {
        FormFixture f;
        auto* frame8 = f.widget("Frame8");
        QVERIFY(!frame8->isVisible());
        f.click(kCommand33Centre);
        QVERIFY(frame8->isVisible());
        QCOMPARE(f.widget("Option2")->toolTip(), QStringLiteral("memory COM2"));
        QVERIFY(f.comm.written().empty());
        f.clock.advance(4999);
        QVERIFY(frame8->isVisible());
        f.clock.advance(1);
        QVERIFY(!frame8->isVisible());
    }

    void endClosesThePortAndTheWindow()
    {
        FormFixture f;
        QSignalSpy ended(&f.panel, &Panel::ended);
        QVERIFY(f.comm.isOpen());
        f.click(kCommand16Centre);
        QCOMPARE(ended.count(), 1);
        QVERIFY(!f.comm.isOpen());
        QVERIFY(!f.form.isVisible());
    }

    void closingTheWindowReleasesThePort()
    {
        FormFixture f;
        f.form.close();
        QVERIFY(!f.comm.isOpen());
        QVERIFY(!f.form.isVisible());
    }

    void startUpSelectsCom1And19200()
    {
        FormFixture f;
        QVERIFY(f.widget<QRadioButton>("Option1")->isChecked());
        QVERIFY(!f.widget<QRadioButton>("Option2")->isChecked());
        QVERIFY(f.widget<QRadioButton>("Option9")->isChecked());
        QVERIFY(!f.widget<QRadioButton>("Option10")->isChecked());
    }

    void optionsAreExclusiveWithinTheirOwnFrameOnly()
    {
        FormFixture f;
        auto* option1 = f.widget<QRadioButton>("Option1");
        auto* option2 = f.widget<QRadioButton>("Option2");
        auto* option9 = f.widget<QRadioButton>("Option9");
        auto* option10 = f.widget<QRadioButton>("Option10");
        // The toolkit's own selection, before any handler redraws it.
        option2->setChecked(true);
        QVERIFY(!option1->isChecked());
        QVERIFY(option9->isChecked());
        option10->setChecked(true);
        QVERIFY(!option9->isChecked());
        QVERIFY(option2->isChecked());
        option1->setChecked(true);
        QVERIFY(option10->isChecked());
    }

    void portChoiceLeavesTheSpeedAlone()
    {
        FormFixture f;
        f.click(kCommand33Centre);
        f.click(kOption2Centre);
        QCOMPARE(f.comm.commPort(), 2);
        QVERIFY(f.comm.isOpen());
        QVERIFY(!f.widget("Frame8")->isVisible());
        QVERIFY(f.widget<QRadioButton>("Option2")->isChecked());
        QVERIFY(!f.widget<QRadioButton>("Option1")->isChecked());
        QVERIFY(f.widget<QRadioButton>("Option9")->isChecked());
        QCOMPARE(f.comm.settings(), std::string("19200,N,8,1"));
    }

    void speedChoiceLeavesThePortAlone()
    {
        FormFixture f;
        f.click(kCommand33Centre);
        f.click(kOption10Centre);
        QCOMPARE(f.comm.settings(), std::string("9600,N,8,1"));
        QVERIFY(f.comm.isOpen());
        QVERIFY(!f.widget("Frame8")->isVisible());
        QVERIFY(f.widget<QRadioButton>("Option10")->isChecked());
        QVERIFY(!f.widget<QRadioButton>("Option9")->isChecked());
        QVERIFY(f.widget<QRadioButton>("Option1")->isChecked());
        QCOMPARE(f.comm.commPort(), 1);

        f.click(kCommand33Centre);
        f.click(kOption9Centre);
        QCOMPARE(f.comm.settings(), std::string("19200,N,8,1"));
        QVERIFY(f.widget<QRadioButton>("Option9")->isChecked());
        QVERIFY(f.widget<QRadioButton>("Option1")->isChecked());
    }

    void portFailureShowsTheWarningBox()
    {
        FormFixture f;
        const QString failure = QStringLiteral("COM2 is in use by another program.");
        f.comm.refuseOpening(2, failure);
        f.click(kCommand33Centre);
        ShownBox seen;
        answerNextBox(seen);
        f.click(kOption2Centre);

        QVERIFY(seen.shown);
        QCOMPARE(seen.caption, QStringLiteral("VX37RSC"));
        QCOMPARE(seen.text, failure);
        QCOMPARE(seen.icon, QMessageBox::Warning);
        QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(seen.buttonCount, 1);
        // After OK: the port closed and numbered as the other one, the frame still shown
        // and the choice just made still selected.
        QVERIFY(!f.comm.isOpen());
        QCOMPARE(f.comm.commPort(), 1);
        QVERIFY(f.widget("Frame8")->isVisible());
        QVERIFY(f.widget<QRadioButton>("Option2")->isChecked());
    }

    void sendTakesTheTypedTextAndClsEmptiesTheBox()
    {
        FormFixture f;
        f.openFullView();
        f.comm.clearWritten();
        f.click(kText1Centre);
        auto* text1 = f.widget<QLineEdit>("Text1");
        QVERIFY(text1->hasFocus());
        QTest::keyClicks(text1, QStringLiteral("CR9"));
        QCOMPARE(f.state().text1, QStringLiteral("CR9"));
        QVERIFY(f.comm.written().empty());

        f.click(kCommand95Centre);
        QCOMPARE(f.comm.written(), std::string("CR9\r"));
        QCOMPARE(f.widget<MonitorLine>("Label11")->text(), QStringLiteral(" C R 9 CR "));
        f.click(kCommand95Centre);
        QCOMPARE(f.comm.written(), std::string("CR9\rCR9\r"));

        f.click(kCommand96Centre);
        QCOMPARE(text1->text(), QString());
        QCOMPARE(f.comm.written(), std::string("CR9\rCR9\r"));
        f.click(kCommand95Centre);
        QCOMPARE(f.comm.writes().back(), std::string("\r"));

        const QString pasted(40000, QLatin1Char('A')); // a paste longer than a line edit takes
        text1->insert(pasted);
        f.click(kCommand95Centre);
        QCOMPARE(f.comm.writes().back(), pasted.toStdString() + '\r');
    }

    void enterInTheBoxSendsNothing()
    {
        FormFixture f;
        f.openFullView();
        f.comm.clearWritten();
        f.click(kText1Centre);
        QTest::keyClicks(f.widget<QLineEdit>("Text1"), QStringLiteral("C00"));
        f.key(Qt::Key_Return);
        f.key(Qt::Key_Enter);
        QVERIFY(f.comm.written().empty());
    }

    void eachTypedCharacterIsOneToken_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("shown");
        QTest::newRow("Latin-1 letter")
            << QStringLiteral("C\u00e9") << QByteArray("C\xe9\r") << QStringLiteral(" C ? CR ");
        QTest::newRow("Japanese") << QStringLiteral("\u65e5\u672c") << QByteArray("??\r")
                                  << QStringLiteral(" ? ? CR ");
        QTest::newRow("outside the basic plane")
            << QStringLiteral("A\U0001F600B") << QByteArray("A?B\r")
            << QStringLiteral(" A ? B CR ");
    }

    void eachTypedCharacterIsOneToken()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, wire);
        QFETCH(QString, shown);
        FormFixture f;
        f.openFullView();
        f.comm.clearWritten();
        f.click(kText1Centre);
        typeText(f.widget<QLineEdit>("Text1"), typed);
        f.click(kCommand95Centre);
        QCOMPARE(QByteArray::fromStdString(f.comm.written()), wire);
        QCOMPARE(f.widget<MonitorLine>("Label11")->text(), shown);
    }

    void textFromAnInputMethodIsSent()
    {
        FormFixture f;
        f.openFullView();
        f.comm.clearWritten();
        f.click(kText1Centre);
        auto* text1 = f.widget<QLineEdit>("Text1");
        QInputMethodEvent composing(QStringLiteral("\u3066\u3059"), {});
        QApplication::sendEvent(text1, &composing);
        QCOMPARE(f.state().text1, QString()); // still being composed
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("\u30c6\u30b9\u30c8"));
        QApplication::sendEvent(text1, &commit);
        QCOMPARE(f.state().text1, QStringLiteral("\u30c6\u30b9\u30c8"));
        f.click(kCommand95Centre);
        QCOMPARE(f.comm.written(), std::string("???\r"));
    }

    void viewButtonClickedWithTheMouse()
    {
        FormFixture f;
        f.key(Qt::Key_K, Qt::ControlModifier);
        auto* command34 = f.widget<QPushButton>("Command34");
        QCOMPARE(command34->text(), QStringLiteral("CLOSE"));
        f.click(kCommand34Centre);
        QCOMPARE(f.state().height, kCompactHeight);
        QCOMPARE(command34->text(),
                 QStringLiteral("\u30c7\u30fc\u30bf\u3092\u8868\u793a\u3059\u308b"));
        QVERIFY(f.comm.written().empty());
    }

    void receivedTextIsShownWhole()
    {
        FormFixture f;
        f.openFullView();
        f.click(kDesignedButtons[44].centre()); // "STATUS"
        f.comm.receive("00\r");
        QCOMPARE(f.widget<MonitorLine>("Label12")->text(), QStringLiteral(" 0 0 CR "));
        QCOMPARE(f.widget<MonitorLine>("Label22")->text(), QStringLiteral(" Power ON"));
        f.clock.advance(1000);
        QCOMPARE(f.widget<MonitorLine>("Label11")->text(), QString());
        QCOMPARE(f.widget<MonitorLine>("Label12")->text(), QString());
        QCOMPARE(f.widget<MonitorLine>("Label22")->text(), QString());

        // A full accumulator: every character kept, though only the head is drawn.
        f.click(kDesignedButtons[0].centre());
        f.comm.receive(std::string(40000, 'A'));
        const QString rxd = f.widget<MonitorLine>("Label12")->text();
        QCOMPARE(rxd.size(), qsizetype{1 + 2 * 32767});
        QVERIFY(rxd.endsWith(QStringLiteral("A ")));
        QAccessibleInterface* read = QAccessible::queryAccessibleInterface(f.widget("Label12"));
        QVERIFY(read);
        QCOMPARE(read->text(QAccessible::Value), rxd);
    }
};

VX37_TEST(FormClicksTest)
#include "test_form_clicks.moc"
