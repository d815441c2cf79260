#include "designed_buttons.h"
#include "form_fixture.h"
#include "panel/monitor_line.h"

#include "test_registry.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

using namespace vx37;
using namespace vx37::testing;

namespace {

std::size_t countOf(const MemorySerialControl& comm, const std::string& frame)
{
    return static_cast<std::size_t>(std::count(comm.writes().begin(), comm.writes().end(), frame));
}

} // namespace

class HeldButtonsTest : public QObject
{
    Q_OBJECT

private slots:
    void anyMouseButtonHoldsAndReleases_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::newRow("left") << Qt::LeftButton << Qt::KeyboardModifiers();
        QTest::newRow("right") << Qt::RightButton << Qt::KeyboardModifiers();
        QTest::newRow("middle") << Qt::MiddleButton << Qt::KeyboardModifiers();
        QTest::newRow("left with Shift")
            << Qt::LeftButton << Qt::KeyboardModifiers(Qt::ShiftModifier);
        QTest::newRow("right with Ctrl and Alt")
            << Qt::RightButton << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier);
    }

    void anyMouseButtonHoldsAndReleases()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        FormFixture f;
        const QPoint volumeUp = designed("Command1").centre();

        f.press(volumeUp, button, modifiers);
        QCOMPARE(f.comm.writes(), std::vector<std::string>{"C09\r"});
        // Held for one second: the press and a repeat every 250 ms.
        f.clock.advance(1000);
        QCOMPARE(f.comm.writes().size(), std::size_t{5});
        QCOMPARE(countOf(f.comm, "C09\r"), std::size_t{5});

        f.release(volumeUp, button, modifiers);
        QCOMPARE(f.panel.heldButton(), nullptr);
        QCOMPARE(f.widget<MonitorLine>("Label11")->text(), QString());
        f.clock.advance(1000);
        QCOMPARE(f.comm.writes().size(), std::size_t{5});
    }

    void releaseAfterThePointerLeftStopsTheRepeat()
    {
        FormFixture f;
        const QPoint up = designed("Command5").centre();
        f.press(up);
        QTest::mouseMove(f.window(), FormFixture::pixels(kCommand16Centre));
        f.clock.advance(400);
        QCOMPARE(f.comm.writes().size(), std::size_t{3});
        // Released over "END": the release belongs to the pressed button.
        f.release(kCommand16Centre);
        QCOMPARE(f.panel.heldButton(), nullptr);
        f.clock.advance(1000);
        QCOMPARE(f.comm.writes().size(), std::size_t{3});
        QVERIFY(f.comm.isOpen());
        QVERIFY(f.form.isVisible());
    }

    void secondMouseButtonPressesAgain()
    {
        FormFixture f;
        const QPoint select = designed("Command6").centre();
        f.press(select, Qt::LeftButton);
        QTest::mousePress(f.window(), Qt::RightButton, {}, FormFixture::pixels(select));
        QCOMPARE(f.comm.writes().size(), std::size_t{2});
        // Releasing either button ends the hold.
        QTest::mouseRelease(f.window(), Qt::RightButton, {}, FormFixture::pixels(select));
        QCOMPARE(f.panel.heldButton(), nullptr);
        f.clock.advance(1000);
        QCOMPARE(f.comm.writes().size(), std::size_t{2});
        f.release(select, Qt::LeftButton);
        QCOMPARE(f.comm.writes().size(), std::size_t{2});
    }

    void keyboardActivationSendsNothing_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<Qt::Key>("key");
        QTest::newRow("up arrow, Space") << QByteArray("Command5") << Qt::Key_Space;
        QTest::newRow("up arrow, Enter") << QByteArray("Command5") << Qt::Key_Return;
        QTest::newRow("keypad Enter on SELECT") << QByteArray("Command6") << Qt::Key_Enter;
        QTest::newRow("VOL +, Space") << QByteArray("Command1") << Qt::Key_Space;
    }

    void keyboardActivationSendsNothing()
    {
        QFETCH(QByteArray, name);
        QFETCH(Qt::Key, key);
        FormFixture f;
        auto* button = f.widget<QPushButton>(name.constData());
        button->setFocus();
        QVERIFY(button->hasFocus());
        f.key(key);
        f.clock.advance(1000);
        QVERIFY(f.comm.written().empty());
        QCOMPARE(f.panel.heldButton(), nullptr);
    }

    void keyboardActivationOfAnOrdinaryButtonSends_data()
    {
        QTest::addColumn<Qt::Key>("key");
        QTest::newRow("Space") << Qt::Key_Space;
        QTest::newRow("Enter") << Qt::Key_Return;
    }

    void keyboardActivationOfAnOrdinaryButtonSends()
    {
        QFETCH(Qt::Key, key);
        FormFixture f;
        QVERIFY(f.widget("Command17")->hasFocus());
        f.key(key);
        QCOMPARE(f.comm.written(), std::string("C00\r"));
        QVERIFY(f.widget("Command17")->updatesEnabled());
    }

    void lostReleaseStopsTheRepeat_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("the window deactivates") << QStringLiteral("deactivate");
        QTest::newRow("the window is hidden") << QStringLiteral("hide");
        QTest::newRow("the pointer moves with no button down") << QStringLiteral("move");
        QTest::newRow("a warning box takes the pointer") << QStringLiteral("warning");
    }

    void lostReleaseStopsTheRepeat()
    {
        QFETCH(QString, how);
        FormFixture f;
        const QPoint up = designed("Command5").centre();
        f.press(up);
        auto* button = f.widget<QPushButton>("Command5");
        QVERIFY(button->isDown());
        f.clock.advance(400);
        QCOMPARE(f.comm.writes().size(), std::size_t{3});

        QWidget other;
        if (how == QLatin1String("deactivate")) {
            other.show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
            QVERIFY(!f.form.isActiveWindow());
        } else if (how == QLatin1String("hide")) {
            f.form.hide();
        } else if (how == QLatin1String("move")) {
            const QPointF at = FormFixture::pixels(designed("Command17").centre());
            QMouseEvent move(QEvent::MouseMove, at, f.form.mapToGlobal(at), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(f.window(), &move);
        } else {
            // Lift the warning box at once: only the hold matters here.
            QTimer::singleShot(0, qApp, [] {
                if (QWidget* box = QApplication::activeModalWidget())
                    box->close();
            });
            f.comm.vanish();
        }

        QCOMPARE(f.panel.heldButton(), nullptr);
        QVERIFY(!f.timer1.isActive());
        QVERIFY(!button->isDown());
        const std::size_t sent = f.comm.writes().size();
        f.clock.advance(2000);
        QCOMPARE(f.comm.writes().size(), sent);
    }
};

VX37_TEST(HeldButtonsTest)
#include "test_held_buttons.moc"
