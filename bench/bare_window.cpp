// vx37-bare-window: the floor of the stack for vx37-window-bench's start-up figure, a
// QApplication with one empty QWidget. It takes the size of the panel's compact client
// area and the panel's window colour, so that the benchmark sees both windows painted by
// the same pixel.

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    QPalette grey = window.palette();
    grey.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    window.setPalette(grey);
    window.setAutoFillBackground(true);
    window.resize(633, 331);
    window.show();
    return app.exec();
}
