// Shows the sample screen in a real window and saves a picture of it:
//   screenshot_sample OUTPUT.png      (run under Xvfb: xvfb-run -a screenshot_sample out.png)

#include <framework/ui/messageboxdialogs.h>
#include "samplescreen.h"

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    fw::MessageBoxDialogs dialogs;
    fw::setDialogs(&dialogs);
    // On the heap: closing a standard screen frees it, as the application quits too.
    auto *screenWindow = new SampleScreen;
    SampleScreen &screen = *screenWindow;
    screen.create();
    screen.load(6);
    screen.dbgPadrao->onDrawColumnCell = [&](fw::TDBGrid &grid, const QRect &rect, int column, QStyle::State state) {
        // Negative amounts in red, as the account screen paints its balances.
        if (state & QStyle::State_Selected)
            return;
        QPainter *canvas = grid.canvas();
        canvas->fillRect(rect, canvas->brush());
        canvas->setPen(screen.cdsPessoas->fieldByName("VALOR").asFloat() < 0 ? Qt::red : Qt::black);
        const QString text = grid.columnField(column)->displayText();
        canvas->drawText(rect.adjusted(2, 0, -2, 0), Qt::AlignVCenter | Qt::AlignRight, text);
    };
    screen.cdsPessoas->setRecNo(2);
    screen.resize(760, 420);
    screen.show();
    QTimer::singleShot(500, [&] {
        screen.grab().save(QString::fromLocal8Bit(argv[1]));
        app.quit();
    });
    return app.exec();
}
