// Saves a picture of the whole X display it runs on: grabdisplay OUTPUT.png
// (for pictures of the real application under Xvfb).

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2)
        return 2;
    return QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
