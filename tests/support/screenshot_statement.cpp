// Draws the account screen over the demo statement of the account that stopped paying (its
// last rows red, cancelled rows grey):
//   screenshot_statement OUTPUT.png    (under Xvfb: xvfb-run -a screenshot_statement out.png)

#include <framework/core/checks.h>
#include "demodata.h"
#include "ledger.h"
#include <framework/data/protocol.h>
#include "schema.h"
#include "screen.h"

#include <QApplication>
#include <QCborMap>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QTemporaryDir dir;
    server::Storage storage(dir.filePath(QStringLiteral("demo.db")));
    server::migrate(storage.connection(), storage.kind());
    server::createDemoData(storage, QDate::currentDate());
    server::Ledger ledger(storage);
    const QString client = QStringLiteral("000000000000000000004");
    const QDateTime start(QDate::currentDate().addDays(-60), QTime(0, 0));
    const QCborMap envelope = QCborValue::fromCbor(ledger.getMovCliente({QString(), QStringLiteral("T"), client,
                                                                         fw::dateTimeToCbor(start)}).result).toMap();

    auto *screen = new acc00420::TfrmPagClie; // closing frees it
    screen->create();
    screen->medCdCliente->setEditMask(fw::PictPess(fw::PessoaFisica));
    screen->medCdCliente->setText(QStringLiteral("39053344705"));
    screen->edtNmCliente->setText(QStringLiteral("Maria das Graças Pinto"));
    screen->cdsMovCliente->loadFromPacket(envelope.value(QLatin1String("payload")).toCbor());
    screen->cdsMovCliente->setRecNo(screen->cdsMovCliente->recordCount() - 4);
    screen->resize(980, 720);
    screen->show();
    screen->dbgPadrao->setFocus();
    QTimer::singleShot(500, [&] {
        screen->grab().save(QString::fromLocal8Bit(argv[1]));
        app.quit();
    });
    return app.exec();
}
