// The ledger on SQLite, over loopback: getMovCliente of a 200-movement and of a
// 100,000-movement statement, and setAtualizaCons of the 200-movement account, in a table of
// over a million movements; each beside the bare SQL query over the same rows.
//
//   bench_ledger [database file]   (default: a temporary file, built on first use)

#include "accountservice.h"
#include "appserver.h"
#include <framework/core/largebuffers.h>
#include <framework/data/checkresultserv.h>
#include "ledger.h"
#include "ledgerdata.h"
#include "ledgeronloopback.h"
#include "measure.h"
#include "schema.h"
#include "storage.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

using namespace server;
using bench::BigClient;
using bench::FirstDay;
using bench::median;
using bench::SmallClient;

namespace {

double bareQueryMs(const Storage &storage, const QString &client, int *rows)
{
    QElapsedTimer timer;
    timer.start();
    *rows = bench::queryStatement(storage, client);
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    fw::keepLargeBuffersForReuse();
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath(QStringLiteral("bench.db"));
    Storage storage(file);
    migrate(storage.connection(), storage.kind());
    bench::fillLedger(storage);

    LedgerOnLoopback loopback(storage);
    acc00420::AccountService &service = loopback.service;
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(FirstDay);

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
    const double small = statementMs(SmallClient, 200, &bytes);
    std::vector<double> bare;
    for (int i = 0; i < 200; ++i)
        bare.push_back(bareQueryMs(storage, SmallClient, &rows));
    std::printf("getMovCliente, %d movements: median %.2f ms over loopback (%lld bytes); bare query %.2f ms "
                "(target: under 2 ms)\n", rows, small, static_cast<long long>(bytes), median(bare));

    const double big = statementMs(BigClient, 5, &bytes);
    bare.clear();
    for (int i = 0; i < 5; ++i)
        bare.push_back(bareQueryMs(storage, BigClient, &rows));
    std::printf("getMovCliente, %d movements: median %.0f ms (%.0f rows/s, %.1f MiB); bare query %.0f ms (%.0f rows/s); "
                "ratio %.2f (target: within 3)\n", rows, big, rows / big * 1000, bytes / 1048576.0, median(bare),
                rows / median(bare) * 1000, big / median(bare));

    std::vector<double> recalc;
    for (int i = 0; i < 100; ++i) {
        QElapsedTimer timer;
        timer.start();
        fw::CheckResultServ(service.setAtualizaCons(QStringLiteral("0001"), SmallClient, QString(), start,
                                                    QStringLiteral("0007")), true, 0);
        recalc.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("setAtualizaCons, 200-movement account in a table of 1,000,200: median %.2f ms (target: under 5 ms)\n",
                median(recalc));
    std::vector<double> recalcBig;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        fw::CheckResultServ(service.setAtualizaCons(QStringLiteral("0001"), BigClient, QString(), start,
                                                    QStringLiteral("0007")), true, 0);
        recalcBig.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("setAtualizaCons, 100,000-movement account: median %.0f ms (%.0f rows/s)\n", median(recalcBig),
                100000 / median(recalcBig) * 1000);
    return 0;
}
