#include "designed_buttons.h"
#include "form_fixture.h"

#include "panel/control_inventory.h"
#include "panel/monitor_line.h"

#include "test_registry.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QRegularExpression>

#include <map>
#include <set>

using namespace vx37;
using namespace vx37::testing;

namespace {

QString caption(const QWidget* widget)
{
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    return {};
}

QAccessibleInterface* accessible(FormFixture& f, const char* name)
{
    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(f.widget(name));
    if (!read)
        qFatal("no accessible interface for %s", name);
    return read;
}

// Every interface below the window, as a screen reader walking the tree finds them.
void collect(QAccessibleInterface* node, std::map<QObject*, QAccessibleInterface*>& found)
{
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        if (!child)
            continue;
        found.emplace(child->object(), child);
        collect(child, found);
    }
}

} // namespace

class AccessibleNamesTest : public QObject
{
    Q_OBJECT

private slots:
    // What a listener hears for each control that its caption alone would not name, and
    // the caption, which stays as designed.
    void controlsAreNamedForListeners_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QString>("spoken");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("role");
        const auto row = [](const char* control, const char* spoken, const char* caption,
                            QAccessible::Role role = QAccessible::Button) {
            QTest::newRow(spoken) << QByteArray(control) << QString::fromUtf8(spoken)
                                  << QString::fromUtf8(caption) << int(role);
        };
        row("Command5", "Up", "\u2191");
        row("Command7", "Down", "\u2193");
        row("Command9", "Left", "\u2190");
        row("Command8", "Right", "\u2192");
        row("Command6", "Select", "SELECT");
        row("Command1", "Volume up", "+");
        row("Command2", "Volume down", "-");
        row("Command15", "Brightness up", "+");
        row("Command35", "Brightness down", "-");
        row("Command48", "Zoom up", "+");
        row("Command49", "Zoom down", "-");
        row("Command50", "Keystone up", "+");
        row("Command51", "Keystone down", "-");
        row("Command17", "Power on", "ON");
        row("Command18", "Power off", "OFF");
        row("Command19", "Sound mute on", "ON");
        row("Command20", "Sound mute off", "OFF");
        row("Command21", "No show on", "ON");
        row("Command22", "No show off", "OFF");
        row("Command25", "Freeze on", "ON");
        row("Command26", "Freeze off", "OFF");
        row("Command23", "Menu on", "ON");
        row("Command24", "Menu off", "OFF");
        row("Command29", "Input Video", "Video");
        row("Command82", "Video signal video", "Video");
        row("Command64", "PC1 signal RGB", "RGB");
        row("Command72", "PC2 signal RGB", "RGB");
        row("Command56", "Key lock off", "NONE");
        row("Command57", "Remote control keys off", "R/C");
        row("Command58", "Projector keys off", "KEY");
        row("Command44", "Status query", "STATUS");
        row("Command46", "Lamp time query", "L-TIME");
        row("Command12", "Preset blackboard", "B.Board");
        row("Command16", "End", "END");
        row("Command95", "Send command", "SEND");
        row("Command96", "Clear command", "CLS");
        row("Option1", "Port COM1", "COM1", QAccessible::RadioButton);
        row("Option10", "9600 baud", "9600", QAccessible::RadioButton);
        row("Text1", "Command", "", QAccessible::EditableText);
        row("Label11", "Transmitted", "", QAccessible::StaticText);
        row("Label12", "Received", "", QAccessible::StaticText);
        row("Label22", "Status", "", QAccessible::StaticText);
        row("Image1", "VX37 logo", "", QAccessible::Graphic);
    }

    void controlsAreNamedForListeners()
    {
        QFETCH(QByteArray, control);
        QFETCH(QString, spoken);
        QFETCH(QString, caption);
        QFETCH(int, role);
        FormFixture f;
        QAccessibleInterface* read = accessible(f, control.constData());
        QCOMPARE(read->text(QAccessible::Name), spoken);
        QCOMPARE(int(read->role()), role);
        QCOMPARE(::caption(f.widget(control.constData())), caption);
    }

    // A screen reader walks the tree from the window: every control that takes the focus
    // is there, named, and no two share a name, so a listener can tell them apart.
    void everyFocusableControlHasItsOwnName()
    {
        FormFixture f;
        f.openFullView();
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&f.form);
        QVERIFY(window);
        std::map<QObject*, QAccessibleInterface*> tree;
        collect(window, tree);

        std::set<QString> names;
        int focusable = 0;
        for (const ControlSpec& item : controlInventory()) {
            if (item.tabIndex < 0)
                continue;
            ++focusable;
            const QString name = QString::fromUtf8(item.name.data(), qsizetype(item.name.size()));
            QWidget* widget = f.form.control(item.name);
            QVERIFY2(widget, qPrintable(name));
            const auto found = tree.find(widget);
            QVERIFY2(found != tree.end(), qPrintable(name + " is not in the accessible tree"));
            const QString spoken = found->second->text(QAccessible::Name);
            QVERIFY2(!spoken.isEmpty(), qPrintable(name + " has no name"));
            // No glyph and no lone sign: a reader would say "upwards arrow" or "minus".
            QVERIFY2(spoken.contains(QRegularExpression(QStringLiteral("^[A-Za-z0-9]"))),
                     qPrintable(name + " is heard as " + spoken));
            QVERIFY2(names.insert(spoken).second, qPrintable(spoken + " is heard twice"));
        }
        QCOMPARE(focusable, 67);
    }

    // The groups that hold the buttons are named too, so a reader entering one says it.
    void groupsAreNamedByTheirTitles_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("POWER") << QByteArray("Frame1") << QStringLiteral("Power");
        QTest::newRow("SOUND MUTE") << QByteArray("Frame3") << QStringLiteral("Sound mute");
        QTest::newRow("AV Size") << QByteArray("Frame5") << QStringLiteral("AV size");
        QTest::newRow("monitor") << QByteArray("Frame9") << QStringLiteral("Monitor");
        QTest::newRow("input signal") << QByteArray("Frame14") << QStringLiteral("Input signal");
    }

    void groupsAreNamedByTheirTitles()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, spoken);
        FormFixture f;
        QCOMPARE(accessible(f, frame.constData())->text(QAccessible::Name), spoken);
    }

    // The monitor lines are heard by name; their whole text is the value and the text.
    void monitorLinesGiveTheirTextAsValue()
    {
        FormFixture f;
        f.openFullView();
        f.click(kDesignedButtons[44].centre()); // "STATUS"
        f.comm.receive("00\r");

        QAccessibleInterface* txd = accessible(f, "Label11");
        QCOMPARE(txd->text(QAccessible::Name), QStringLiteral("Transmitted"));
        QCOMPARE(txd->text(QAccessible::Value), QStringLiteral(" C R 0 CR "));

        QAccessibleInterface* rxd = accessible(f, "Label12");
        QCOMPARE(rxd->text(QAccessible::Name), QStringLiteral("Received"));
        QCOMPARE(rxd->text(QAccessible::Value), QStringLiteral(" 0 0 CR "));
        QAccessibleTextInterface* text = rxd->textInterface();
        QVERIFY(text);
        QCOMPARE(text->characterCount(), 8);
        QCOMPARE(text->text(0, text->characterCount()), QStringLiteral(" 0 0 CR "));
        QCOMPARE(text->text(1, 4), QStringLiteral("0 0"));

        QAccessibleInterface* status = accessible(f, "Label22");
        QCOMPARE(status->text(QAccessible::Name), QStringLiteral("Status"));
        QCOMPARE(status->text(QAccessible::Value), QStringLiteral(" Power ON"));

        // Emptied by the display-clear timer: the names stay.
        f.clock.advance(1000);
        QCOMPARE(rxd->text(QAccessible::Value), QString());
        QCOMPARE(text->characterCount(), 0);
        QCOMPARE(rxd->text(QAccessible::Name), QStringLiteral("Received"));
    }

    // The view button's caption says what a click does; its spoken name says the same.
    void viewButtonIsNamedAfterWhatItDoes()
    {
        FormFixture f;
        QAccessibleInterface* view = accessible(f, "Command34");
        f.key(Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(f.widget<QAbstractButton>("Command34")->text(), QStringLiteral("CLOSE"));
        QCOMPARE(view->text(QAccessible::Name), QStringLiteral("Close service view"));

        f.widget<QAbstractButton>("Command34")->click();
        QCOMPARE(f.widget<QAbstractButton>("Command34")->text(),
                 QStringLiteral("\u30c7\u30fc\u30bf\u3092\u8868\u793a\u3059\u308b"));
        QCOMPARE(view->text(QAccessible::Name), QStringLiteral("Show data"));

        f.widget<QAbstractButton>("Command34")->click();
        QCOMPARE(f.widget<QAbstractButton>("Command34")->text(),
                 QStringLiteral("\u30c7\u30fc\u30bf\u3092\u8868\u793a\u3057\u306a\u3044"));
        QCOMPARE(view->text(QAccessible::Name), QStringLiteral("Hide data"));
    }

    // Controls whose captions say what they are keep being heard by their captions.
    void titledControlsAreHeardByTheirCaptions_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("POWER title") << QByteArray("Label1") << QStringLiteral("POWER");
        QTest::newRow("TXD caption") << QByteArray("Label9") << QStringLiteral("TXD");
        QTest::newRow("PC1 row title") << QByteArray("Label15") << QStringLiteral("PC1");
    }

    void titledControlsAreHeardByTheirCaptions()
    {
        QFETCH(QByteArray, control);
        QFETCH(QString, spoken);
        FormFixture f;
        QCOMPARE(accessible(f, control.constData())->text(QAccessible::Name), spoken);
    }
};

VX37_TEST(AccessibleNamesTest)
#include "test_accessible_names.moc"
