#pragma once

#include "app/virtual_panel.h"
#include "panel/form1.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <cmath>
#include <string>

namespace vx37::testing {

// Form1 on an in-memory port and virtual time, loaded, shown and active. Mouse and key
// events go through the window as the platform delivers them, so the toolkit finds the
// control under the pointer and keeps the press on it. Time moves only when a test
// advances the clock.
struct FormFixture : VirtualPanel
{
    Form1 form{panel};
    QSignalSpy warnings{&panel, &Panel::warning};

    FormFixture()
    {
        quietenSizeHintWarnings();
        form.load();
        form.show();
        form.activateWindow();
        if (!QTest::qWaitForWindowActive(&form))
            qWarning("Form1 did not become active");
        comm.clearWritten();
    }

    ~FormFixture()
    {
        // Leave no button down in QTest's idea of the mouse for the next test.
        if (pressed_ != Qt::NoButton)
            QTest::mouseRelease(window(), pressed_, {}, QPoint(1, 1));
    }

    QWindow* window() const { return form.windowHandle(); }
    const FormState& state() const { return panel.form(); }

    static int pixels(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }
    static QPoint pixels(QPoint twips) { return {pixels(twips.x()), pixels(twips.y())}; }

    template <typename T = QWidget> T* widget(const char* name) const
    {
        T* found = form.findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s of that kind", name);
        return found;
    }

    // Mouse at a point of the client area, in twips.
    void click(QPoint at, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = {})
    {
        QTest::mouseClick(window(), button, mods, pixels(at));
    }
    void press(QPoint at, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = {})
    {
        QTest::mousePress(window(), button, mods, pixels(at));
        pressed_ = button;
    }
    void release(QPoint at, Qt::MouseButton button = Qt::LeftButton,
                 Qt::KeyboardModifiers mods = {})
    {
        QTest::mouseRelease(window(), button, mods, pixels(at));
        pressed_ = Qt::NoButton;
    }
    void doubleClick(QPoint at) { QTest::mouseDClick(window(), Qt::LeftButton, {}, pixels(at)); }

    // A key typed on whatever control has the focus.
    void key(Qt::Key key, Qt::KeyboardModifiers mods = {})
    {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : &form, key, mods);
    }

    // The service chord, then a double-click on the logo: every band in view.
    void openFullView()
    {
        key(Qt::Key_K, Qt::ControlModifier);
        doubleClick(kImage1Centre);
    }

    static constexpr QPoint kImage1Centre{8160 + 600, 120 + 195};

private:
    // The offscreen platform says at every change of the window's fixed size that it
    // cannot pass size hints on; nothing else of the window depends on them.
    static void quietenSizeHintWarnings()
    {
        static const QtMessageHandler next = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
                if (message != QLatin1String("This plugin does not support propagateSizeHints()"))
                    next(type, context, message);
            });
    }

    Qt::MouseButton pressed_ = Qt::NoButton;
};

} // namespace vx37::testing
