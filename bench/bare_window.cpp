// vx37-bare-window: the floor of the stack for vx37-window-bench's start-up figure, a
// QApplication with one empty QWidget. It takes the size of the panel's compact client
// area and the panel's window colour, so that the benchmark sees both windows painted by
// the same pixel. With --text it shows one word as well: the floor of a window that draws
// text, which first has the toolkit read the font configuration.

#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    QPalette grey = window.palette();
    grey.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    window.setPalette(grey);
    window.setAutoFillBackground(true);
    window.resize(633, 331);
    if (argc > 1 && std::strcmp(argv[1], "--text") == 0)
        (new QLabel(QStringLiteral("VX37"), &window))->move(20, 20);
    window.show();
    return app.exec();
}
