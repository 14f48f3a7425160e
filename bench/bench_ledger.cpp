// The ledger on SQLite, over loopback: getMovCliente of a 200-movement and of a
// 100,000-movement statement, and setAtualizaCons of the 200-movement account, in a table of
// over a million movements; each beside the bare SQL query over the same rows.
//
//   bench_ledger [database file]   (default: a temporary file, built on first use)

#include "accountservice.h"
#include "appserver.h"
#include <framework/data/checkresultserv.h>
#include "ledger.h"
#include "schema.h"
#include "storage.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace server;

namespace {

QString code(qint64 n, int width)
{
    return QString::number(n).rightJustified(width, u'0');
}

const QString bigClient = code(1, 21);
const QString smallClient = code(2, 21);
const qint64 firstDay = QDateTime(QDate(2023, 1, 1), QTime(0, 0)).toMSecsSinceEpoch();

void fill(const Storage &storage)
{
    const QSqlDatabase db = storage.connection();
    if (run(db, QStringLiteral("SELECT 1 FROM CLIENTE")).next())
        return;
    std::printf("building a table of 1,000,200 movements (once)...\n");
    std::fflush(stdout);
    Transaction t(db, storage.kind());
    run(db, QStringLiteral("INSERT INTO FILIAL VALUES ('0001', 'Matriz')"));
    run(db, QStringLiteral("INSERT INTO OPERADOR VALUES ('0007', 'Maria')"));
    QSqlQuery client(db), movement(db);
    client.prepare(QStringLiteral("INSERT INTO CLIENTE VALUES (?, '52998224725', 'F', 'Cliente')"));
    movement.prepare(QStringLiteral(
        "INSERT INTO MOVICLIE (CDCLIENTE, NRSEQMOVCLI, CDFILIAL, CDCONSUMIDOR, VRMOVCLI, DTMOVCLI, DSHISTMOV,"
        " IDTIPMOCVLI, VRMOVPESCONS, DTATUMOVCLIE, CDOPERADOR, DSATUMOVCLIE, TIPO, DTMOVIMCLIE)"
        " VALUES (?, ?, '0001', '000000000000000000001', ?, ?, 'Consumo', ?, 0, ?, '0007',"
        " 'Inclusão de crédito/débito realizada pelo operador.', 'M', ?)"));
    auto add = [&](qint64 clientNumber, qint64 count) {
        client.bindValue(0, code(clientNumber, 21));
        client.exec();
        for (qint64 i = 0; i < count; ++i) {
            const qint64 when = firstDay + i * 600000;
            movement.bindValue(0, code(clientNumber, 21));
            movement.bindValue(1, code(i + 1, 10));
            movement.bindValue(2, 500 + i % 3000);
            movement.bindValue(3, when);
            movement.bindValue(4, i % 5 == 0 ? QStringLiteral("C") : QStringLiteral("D"));
            movement.bindValue(5, when);
            movement.bindValue(6, when - when % 86400000);
            movement.exec();
        }
    };
    add(1, 100000);
    add(2, 200);
    for (qint64 c = 3; c < 903; ++c)
        add(c, 1000);
    t.commit();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double bareQueryMs(const Storage &storage, const QString &client, int *rows)
{
    QElapsedTimer timer;
    timer.start();
    QSqlQuery q = run(storage.connection(), Ledger::statementSql(),
        {client, firstDay, QStringLiteral("T"), QString()});
    *rows = 0;
    while (q.next()) {
        for (int i = 0; i < 26; ++i)
            q.value(i);
        ++*rows;
    }
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath(QStringLiteral("bench.db"));
    Storage storage(file);
    migrate(storage.connection(), storage.kind());
    fill(storage);

    Dispatcher dispatcher;
    Ledger ledger(storage);
    ledger.publish(dispatcher);
    AppServer appServer(dispatcher, {});
    if (!appServer.listen(nullptr))
        return 1;
    fw::TNetConnection connection;
    connection.setServerName(Ledger::ObjectName);
    connection.setPort(appServer.port());
    acc00420::AccountService service(connection);
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(firstDay);

    auto statementMs = [&](const QString &client, int rounds, qint64 *bytes) {
        std::vector<double> times;
        for (int i = 0; i < rounds; ++i) {
            QString consumer, all = QStringLiteral("T");
            QElapsedTimer timer;
            timer.start();
            const fw::CborItem payload = fw::CheckResultServ(service.getMovCliente(consumer, all, client, start), true, 0);
            times.push_back(timer.nsecsElapsed() / 1e6);
            *bytes = payload.bytes().size();
        }
        return median(times);
    };

    qint64 bytes = 0;
    int rows = 0;
    const double small = statementMs(smallClient, 200, &bytes);
    std::vector<double> bare;
    for (int i = 0; i < 200; ++i)
        bare.push_back(bareQueryMs(storage, smallClient, &rows));
    std::printf("getMovCliente, %d movements: median %.2f ms over loopback (%lld bytes); bare query %.2f ms "
                "(target: under 2 ms)\n", rows, small, static_cast<long long>(bytes), median(bare));

    const double big = statementMs(bigClient, 5, &bytes);
    bare.clear();
    for (int i = 0; i < 5; ++i)
        bare.push_back(bareQueryMs(storage, bigClient, &rows));
    std::printf("getMovCliente, %d movements: median %.0f ms (%.0f rows/s, %.1f MiB); bare query %.0f ms (%.0f rows/s); "
                "ratio %.2f (target: within 3)\n", rows, big, rows / big * 1000, bytes / 1048576.0, median(bare),
                rows / median(bare) * 1000, big / median(bare));

    std::vector<double> recalc;
    for (int i = 0; i < 100; ++i) {
        QElapsedTimer timer;
        timer.start();
        fw::CheckResultServ(service.setAtualizaCons(QStringLiteral("0001"), smallClient, QString(), start,
                                                    QStringLiteral("0007")), true, 0);
        recalc.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("setAtualizaCons, 200-movement account in a table of 1,000,200: median %.2f ms (target: under 5 ms)\n",
                median(recalc));
    std::vector<double> recalcBig;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        fw::CheckResultServ(service.setAtualizaCons(QStringLiteral("0001"), bigClient, QString(), start,
                                                    QStringLiteral("0007")), true, 0);
        recalcBig.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("setAtualizaCons, 100,000-movement account: median %.0f ms (%.0f rows/s)\n", median(recalcBig),
                100000 / median(recalcBig) * 1000);
    return 0;
}
