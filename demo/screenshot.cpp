// Saves a picture of one window of the X display, by its window id (as
// xdotool prints it), for the demo and the README's screenshot.
//
//   raruru-demo-screenshot [--drawn] WINDOW-ID FILE.png
//
// --drawn: a window that is mapped but not yet painted shows one colour;
// then nothing is saved and the status is 3, so that a caller can wait for
// the first paint.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <cstring>

namespace {

bool hasOneColour(const QImage &image)
{
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != first)
                return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication application(argc, argv);
    const bool drawn = argc > 1 && std::strcmp(argv[1], "--drawn") == 0;
    const int first = drawn ? 2 : 1;
    bool ok = false;
    const WId window = argc == first + 2 ? QByteArray(argv[first]).toULongLong(&ok, 0) : 0;
    if (!ok) {
        std::fprintf(stderr, "usage: raruru-demo-screenshot [--drawn] WINDOW-ID FILE.png\n");
        return 2;
    }
    const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(window);
    if (drawn && !picture.isNull() && hasOneColour(picture.toImage()))
        return 3;
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[first + 1]), "PNG")) {
        std::fprintf(stderr, "raruru-demo-screenshot: cannot grab window %s\n", argv[first]);
        return 1;
    }
    return 0;
}
