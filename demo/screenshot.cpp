// Saves a picture of one window of the X display, by its window id (as
// xdotool prints it), for the demo and the README's screenshot.
//
//   raruru-demo-screenshot WINDOW-ID FILE.png
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication application(argc, argv);
    bool ok = false;
    const WId window = argc == 3 ? QByteArray(argv[1]).toULongLong(&ok, 0) : 0;
    if (!ok) {
        std::fprintf(stderr, "usage: raruru-demo-screenshot WINDOW-ID FILE.png\n");
        return 2;
    }
    const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(window);
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "raruru-demo-screenshot: cannot grab window %s\n", argv[1]);
        return 1;
    }
    return 0;
}
