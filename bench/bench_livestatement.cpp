// A statement kept current. (1) After an entry on the 100,000-movement account, what the screen
// does to be current again (getMovClienteDesde from its version, merged into the loaded record
// set) beside one bare round trip of a one-row statement (getMovCliente, loaded). (2) A posting
// committed by another instance, to the moment a watching client has merged it: its event,
// getMovClienteDesde and the merge, median and 99th percentile. On SQLite, and on PostgreSQL
// when ACC00420_TEST_PG_URL names a server.
//
//   bench_livestatement

#include "accountservice.h"
#include "ledger.h"
#include "ledgerbackend.h"
#include "ledgerdata.h"
#include "measure.h"
#include "movementfields.h"
#include "postedledger.h"
#include "serverprocess.h"
#include "testoperator.h"

#include <framework/core/largebuffers.h>
#include <framework/data/checkresultserv.h>
#include <framework/data/recordset.h>

#include <QCborMap>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int Runs = 15;
constexpr int Postings = 100;
const QString OneRowClient = bench::code(3, 21);
const QStringList StatementOrder = {QStringLiteral("DTMOVCLI"), QStringLiteral("NRSEQMOVCLI")};

// A client of the server as the screen is: its statement loaded, watched, brought up to date.
class Watcher
{
public:
    explicit Watcher(quint16 port)
    {
        m_connection.setServerName(QLatin1String(acc00420::AccountService::ObjectName));
        m_connection.setPort(port);
        signInOnOpen(m_connection);
        acc00420::defineMovementFields(set);
    }

    void watchAndLoad(const QString &client)
    {
        m_client = client;
        version = quint64(fw::CheckResultServ(m_service.acompanhar(client), true).toValue().toMap()
                              .value(QLatin1String("versao")).toInteger());
        set.loadFromPacket(statement(client).bytes());
    }
    fw::CborItem statement(const QString &client)
    {
        QString consumer, all = QStringLiteral("T");
        return fw::CheckResultServ(m_service.getMovCliente(consumer, all, client, start()), true);
    }
    // What changed since the version held, merged; the rows it brought.
    int catchUp()
    {
        const fw::CborItem payload =
            fw::CheckResultServ(m_service.getMovClienteDesde({}, QStringLiteral("T"), m_client, start(), version), true);
        if (payload.member(QLatin1String("completo")).toValue().toBool())
            qFatal("the whole statement came back: the version was too old");
        version = quint64(payload.member(QLatin1String("versao")).toValue().toInteger());
        return set.mergeFromPacket(payload.member(QLatin1String("linhas")).bytes(), QStringLiteral("NRSEQMOVCLI"),
                                   StatementOrder);
    }
    fw::TNetConnection &connection() { return m_connection; }

    fw::RecordSet set;
    quint64 version = 0;

private:
    static QDateTime start() { return QDateTime::fromMSecsSinceEpoch(bench::FirstDay); }

    fw::TNetConnection m_connection;
    acc00420::AccountService m_service{m_connection};
    QString m_client;
};

void measure(const QString &backend, const server::Storage &storage)
{
    storage.connection().exec(QStringLiteral("INSERT INTO CLIENTE VALUES ('%1', '52998224725', 'F', 'Um só')").arg(OneRowClient));
    storage.connection().exec(QStringLiteral("INSERT INTO CLIENFILIAL VALUES ('0001', '%1')").arg(OneRowClient));
    // The movements were written without the ledger: new numbers start past them.
    storage.connection().exec(QStringLiteral("INSERT INTO NUMMOVCLIE (CDCLIENTE, NRULTMOV) VALUES ('%1', 1000000)"
                                             " ON CONFLICT (CDCLIENTE) DO UPDATE SET NRULTMOV = 1000000").arg(bench::BigClient));
    grantTestOperator(storage);
    const server::Ledger elsewhere(storage); // the other instance's writes, on their own connection
    post(elsewhere, OneRowClient, 1);
    ServerProcess instance(QStringLiteral(ACC00420_SERVER_PATH), storage.url());
    if (!instance.start())
        qFatal("the server did not start: %s", qUtf8Printable(instance.output()));

    Watcher screen(instance.port()), bare(instance.port());
    screen.watchAndLoad(bench::BigClient);
    std::printf("%s: %d movements loaded and watched\n", qUtf8Printable(backend), screen.set.recordCount());

    // (1) Current again after an entry, beside one bare one-row statement; turns taken.
    std::vector<double> refreshes, roundTrips;
    for (int run = -1; run < Runs; ++run) {
        post(elsewhere, bench::BigClient, 1 + (run + 1) % 28);
        int rows = 0;
        const double refresh = bench::timeMs([&] { rows = screen.catchUp(); });
        if (rows < 1)
            qFatal("the entry did not come");
        fw::RecordSet one;
        acc00420::defineMovementFields(one);
        const double roundTrip = bench::timeMs([&] { one.loadFromPacket(bare.statement(OneRowClient).bytes()); });
        if (one.recordCount() != 1)
            qFatal("the one-row statement has %d rows", one.recordCount());
        if (run < 0)
            continue;
        refreshes.push_back(refresh);
        roundTrips.push_back(roundTrip);
    }
    const double refresh = bench::median(refreshes), roundTrip = bench::median(roundTrips);
    std::printf("current after an entry: median %.2f ms; one-row statement round trip %.2f ms\n", refresh, roundTrip);
    bench::tableRow(QStringLiteral("%1: current after an entry on %2 movements vs a one-row statement round trip")
                        .arg(backend).arg(screen.set.recordCount()),
                    QStringLiteral("%1 ms").arg(refresh, 0, 'f', 2), QStringLiteral("%1 ms").arg(roundTrip, 0, 'f', 2),
                    bench::times(refresh / roundTrip), QStringLiteral("≤ 3x"), refresh <= 3 * roundTrip);

    // (2) Another instance's posting on the watching client: event, catch-up, merge.
    std::vector<double> latencies;
    QElapsedTimer sincePosted;
    QEventLoop loop;
    QObject::connect(&screen.connection(), &fw::TNetConnection::serverEvent, &loop, [&](const QString &, const QCborMap &e) {
        if (quint64(e.value(QLatin1String("versao")).toInteger()) <= screen.version)
            return;
        screen.catchUp();
        latencies.push_back(sincePosted.nsecsElapsed() / 1e6);
        loop.quit();
    });
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    for (int i = 0; i < Postings; ++i) {
        // Spaced past the coalescing period: each posting is a first change, as most are.
        QTimer::singleShot(250, &loop, [&] {
            sincePosted.start();
            post(elsewhere, bench::BigClient, 1 + i % 28);
        });
        giveUp.start(5000);
        const size_t before = latencies.size();
        loop.exec();
        if (latencies.size() == before)
            qFatal("posting %d never reached the watching client", i);
    }
    const double median = bench::median(latencies), p99 = bench::percentile(latencies, 0.99);
    std::printf("another instance's posting on the watching client: median %.1f ms, p99 %.1f ms\n", median, p99);
    bench::tableRow(QStringLiteral("%1: another instance's posting on a watching client, median").arg(backend),
                    QStringLiteral("%1 ms").arg(median, 0, 'f', 1), QStringLiteral("—"), QStringLiteral("—"),
                    QStringLiteral("≤ 300 ms"), median <= 300);
    bench::tableRow(QStringLiteral("%1: another instance's posting on a watching client, 99th percentile").arg(backend),
                    QStringLiteral("%1 ms").arg(p99, 0, 'f', 1), QStringLiteral("—"), QStringLiteral("—"),
                    QStringLiteral("≤ 1000 ms"), p99 <= 1000);
}

} // namespace

int main(int argc, char **argv)
{
    fw::keepLargeBuffersForReuse();
    QCoreApplication app(argc, argv);
    {
        LedgerBackend sqlite(QStringLiteral("sqlite"));
        bench::fillLedger(sqlite.storage(), 0);
        measure(QStringLiteral("SQLite"), sqlite.storage());
    }
    if (!qEnvironmentVariableIsEmpty("ACC00420_TEST_PG_URL")) {
        LedgerBackend postgres(QStringLiteral("postgresql"));
        bench::fillLedger(postgres.storage(), 0);
        measure(QStringLiteral("PostgreSQL"), postgres.storage());
    }
    return 0;
}
