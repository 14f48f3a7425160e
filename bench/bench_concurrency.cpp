// Many clients at once on one AppServer (with as many workers): 1, 4 and 16 threads, each with
// its own TNetConnection, asking for a 200-movement statement; and apart from them 1, 4 and 16
// writers, each putting movements on its own account as the screen does (getPrxMovClie, then
// SetMovCliente with the new movement's delta). Throughput and the 50th and 99th percentile per
// call, beside the bare query (on SQLite through SQLite's own interface) and a bare insert
// transaction on a connection per thread, at the same concurrency; and 16 writers through a
// ledger that keeps each account's chain beside as many through one that skips it; a recalculation
// of a 1,000-movement account beside one read of it by the statement's query, and 4 writers posting
// to that account while 3 threads recalculate it over and over, beside the same writers alone. On
// SQLite and, when ACC00420_TEST_PG_URL names a server, on PostgreSQL.
//
//   bench_concurrency [database file]   (default: a temporary file, built on first use)

#include "publishedledger.h"
#include "testoperator.h"
#include "accountservice.h"
#include "appserver.h"
#include "baresqlite.h"
#include <framework/core/largebuffers.h>
#include <framework/data/checkresultserv.h>
#include "ledger.h"
#include "ledgerbackend.h"
#include "ledgerdata.h"
#include "measure.h"
#include "movementfields.h"
#include <framework/data/recordset.h>
#include "schema.h"

#include <QCborMap>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <latch>
#include <memory>
#include <optional>

using namespace server;

namespace {

constexpr int Runs = 5;
constexpr int ReadsPerRun = 480;  // over all threads
constexpr int WritesPerRun = 160; // entries, over all threads
constexpr int Levels[] = {1, 4, 16};

// What one thread calls over and over, on what it opened for itself.
class Caller
{
public:
    virtual ~Caller() = default;
    virtual void call() = 0;
};
using Opener = std::function<std::unique_ptr<Caller>(int thread)>;

QString writerClient(int thread) { return bench::code(7000 + thread, 21); }
QString bareWriterClient(int thread) { return bench::code(8000 + thread, 21); }
QString unchainedWriterClient(int thread) { return bench::code(9000 + thread, 21); }

// ------------------------------------------------------------------------------ through the server

class StatementReader : public Caller
{
public:
    explicit StatementReader(quint16 port)
    {
        m_connection.setServerName(Ledger::ObjectName);
        m_connection.setPort(port);
        signInOnOpen(m_connection);
    }
    void call() override
    {
        QString consumer, all = QStringLiteral("T");
        fw::CheckResultServ(m_service.getMovCliente(consumer, all, bench::SmallClient,
                                                    QDateTime::fromMSecsSinceEpoch(bench::FirstDay)), false, 0);
    }

private:
    fw::TNetConnection m_connection;
    acc00420::AccountService m_service{m_connection};
};

// A manual credit as the screen enters it: the server numbers it, the record set posts it, and
// its change log goes as the delta.
class EntryWriter : public Caller
{
public:
    EntryWriter(quint16 port, QString client)
        : m_client(std::move(client))
    {
        m_connection.setServerName(Ledger::ObjectName);
        m_connection.setPort(port);
        signInOnOpen(m_connection);
        acc00420::defineMovementFields(m_set);
    }
    void call() override
    {
        const QString number = acc00420::movementNumberText(m_service.getPrxMovClie(m_client));
        m_set.createDataSet();
        m_set.insert();
        m_set.fieldByName("CDCLIENTE").setAsString(m_client);
        m_set.fieldByName("NRSEQMOVCLI").setAsString(number);
        m_set.fieldByName("CDFILIAL").setAsString("0001");
        m_set.fieldByName("IDTIPMOCVLI").setAsString("C");
        m_set.fieldByName("VRMOVCLI").setAsFloat(10);
        m_set.fieldByName("VRMOVPESCONS").setAsFloat(0);
        m_set.fieldByName("DTMOVCLI").setAsDateTime(QDateTime::currentDateTime());
        m_set.fieldByName("CDOPERADOR").setAsString("0007");
        m_set.post();
        const QCborMap envelope = m_service.SetMovCliente(m_set.deltaPacket()).toValue().toMap();
        if (!envelope.value(QLatin1String("ok")).toBool())
            qFatal("SetMovCliente: %s", qUtf8Printable(envelope.value(QLatin1String("message")).toString()));
    }

private:
    QString m_client;
    fw::TNetConnection m_connection;
    acc00420::AccountService m_service{m_connection};
    fw::RecordSet m_set;
};

// ------------------------------------------------------------------------------ bare

// A connection of the thread's own, removed when it goes.
class OwnConnection
{
public:
    explicit OwnConnection(const QString &url)
        : m_name(QStringLiteral("bench-%1").arg(++s_count))
        , m_db(fw::openDatabase(url, m_name))
    {
    }
    ~OwnConnection()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    const QSqlDatabase &db() const { return m_db; }

private:
    static inline std::atomic<int> s_count{0};
    QString m_name;
    QSqlDatabase m_db;
};

// The statement's query on a connection of the thread's own: on SQLite through SQLite's own
// interface, as the server reads it; on PostgreSQL prepared once and run again.
class BareReader : public Caller
{
public:
    explicit BareReader(const QString &url)
    {
        const fw::DatabaseUrl where = fw::DatabaseUrl::parse(url);
        if (where.kind == fw::DatabaseUrl::Kind::SQLite) {
            if (sqlite3_open_v2(where.path.toUtf8().constData(), &m_sqlite, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
                qFatal("cannot open %s", qPrintable(where.path));
            sqlite3_busy_timeout(m_sqlite, 10000);
            return;
        }
        m_connection.emplace(url);
        m_query.emplace(m_connection->db());
        m_query->setForwardOnly(true);
        m_query->prepare(Ledger::statementSql());
    }
    ~BareReader() override
    {
        m_query.reset();
        sqlite3_close(m_sqlite);
    }
    void call() override
    {
        if (m_sqlite) {
            bench::bareSqliteStatement(m_sqlite, bench::SmallClient);
            return;
        }
        for (const QVariant &v : {QVariant(bench::SmallClient), QVariant(bench::FirstDay), QVariant(QStringLiteral("T")),
                                  QVariant(QMetaType(QMetaType::QString))})
            m_query->addBindValue(v);
        if (!m_query->exec())
            qFatal("bare query failed");
        while (m_query->next()) {
            for (int i = 0; i < 26; ++i)
                m_query->value(i);
        }
    }

private:
    sqlite3 *m_sqlite = nullptr;
    std::optional<OwnConnection> m_connection;
    std::optional<QSqlQuery> m_query;
};

class BareWriter : public Caller
{
public:
    BareWriter(const QString &url, QString client)
        : m_connection(url)
        , m_client(std::move(client))
        , m_insert(m_connection.db())
    {
        QSqlQuery last = run(m_connection.db(), QStringLiteral("SELECT MAX(NRSEQMOVCLI) FROM MOVICLIE WHERE CDCLIENTE = ?"),
                             {m_client});
        m_number = last.next() ? last.value(0).toLongLong() : 0;
        m_insert.prepare(QStringLiteral(
            "INSERT INTO MOVICLIE (CDCLIENTE, NRSEQMOVCLI, CDFILIAL, VRMOVCLI, DTMOVCLI, IDTIPMOCVLI, VRMOVPESCONS,"
            " CDOPERADOR, TIPO) VALUES (?, ?, '0001', 1000, ?, 'C', 0, '0007', 'M')"));
    }
    void call() override
    {
        QSqlDatabase db = m_connection.db();
        m_insert.bindValue(0, m_client);
        m_insert.bindValue(1, bench::code(++m_number, 10));
        m_insert.bindValue(2, QDateTime::currentMSecsSinceEpoch());
        if (!db.transaction() || !m_insert.exec() || !db.commit())
            qFatal("bare insert failed");
    }

private:
    OwnConnection m_connection;
    QString m_client;
    QSqlQuery m_insert;
    qint64 m_number = 0;
};

// ------------------------------------------------------------------------------ the runs

struct Figures
{
    double throughput = 0; // calls per second, median of the runs
    double p50 = 0, p99 = 0, worst = 0; // ms, over every call of the runs
};

struct Samples
{
    std::vector<double> throughputs, latencies;
    Figures figures() const
    {
        return {bench::median(throughputs), bench::percentile(latencies, 0.5), bench::percentile(latencies, 0.99),
                bench::percentile(latencies, 1)};
    }
};

// One run: `threads` threads each open their caller and make a first call (which signs in),
// wait for the others, make a few more calls all at once to warm up (so that the server has as
// many workers, each with its database connection, as calls come at a time), wait again and
// make `calls` timed calls together. The main thread serves events (the server's) meanwhile.
void burst(int threads, int calls, const Opener &open, Samples &into)
{
    using Clock = std::chrono::steady_clock;
    constexpr int WarmUpCalls = 3;
    std::latch opened(threads), ready(threads);
    std::vector<std::vector<double>> times(threads);
    std::vector<Clock::time_point> starts(threads), ends(threads);
    std::vector<std::unique_ptr<QThread>> workers;
    QEventLoop loop;
    int running = threads;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back(QThread::create([&, t] {
            const std::unique_ptr<Caller> caller = open(t);
            caller->call();
            opened.arrive_and_wait();
            for (int i = 0; i < WarmUpCalls; ++i)
                caller->call();
            ready.arrive_and_wait();
            starts[t] = Clock::now();
            for (int i = 0; i < calls; ++i)
                times[t].push_back(bench::timeMs([&] { caller->call(); }));
            ends[t] = Clock::now();
        }));
        QObject::connect(workers.back().get(), &QThread::finished, &loop, [&] {
            if (--running == 0)
                loop.quit();
        });
        workers.back()->start();
    }
    loop.exec();
    for (const auto &w : workers)
        w->wait();
    const auto wall = *std::max_element(ends.begin(), ends.end()) - *std::min_element(starts.begin(), starts.end());
    into.throughputs.push_back(threads * calls / std::chrono::duration<double>(wall).count());
    for (const auto &t : times)
        into.latencies.insert(into.latencies.end(), t.begin(), t.end());
}

// The server and the bare baseline take turns run by run, so a busy spell of the machine
// weighs on both alike.
std::pair<Figures, Figures> measure(int threads, int totalCalls, const Opener &served, const Opener &bare)
{
    const int calls = std::max(1, totalCalls / threads);
    Samples s, b;
    for (int run = 0; run < Runs; ++run) {
        burst(threads, calls, served, s);
        burst(threads, calls, bare, b);
    }
    return {s.figures(), b.figures()};
}

void print(const char *what, int threads, const Figures &f)
{
    std::printf("  %-30s %2d threads: %8.0f calls/s  p50 %7.2f ms  p99 %7.2f ms  worst %7.2f ms\n", what, threads,
                f.throughput, f.p50, f.p99, f.worst);
}

QString perSecond(double value) { return QStringLiteral("%1 calls/s").arg(value, 0, 'f', 0); }
QString ms(double value) { return QStringLiteral("%1 ms").arg(value, 0, 'f', 2); }

// What keeping the chain costs writers: 16 through a ledger that keeps it, beside 16 through
// one that skips it, run by run, each on accounts of its own.
void chainCost(const QString &backend, const Storage &storage)
{
    PublishedLedger chained(storage), unchained(storage, {}, Ledger::Chain::Skipped);
    AppServer::Options options;
    options.workers = 16;
    AppServer withChain(chained.dispatcher, options), withoutChain(unchained.dispatcher, options);
    if (!withChain.listen(nullptr) || !withoutChain.listen(nullptr))
        qFatal("cannot listen");
    const quint16 kept = withChain.port(), skipped = withoutChain.port();
    const auto [with, without] = measure(
        16, 8 * WritesPerRun, [&](int t) { return std::make_unique<EntryWriter>(kept, writerClient(t)); },
        [&](int t) { return std::make_unique<EntryWriter>(skipped, unchainedWriterClient(t)); });
    print("entries, chain kept", 16, with);
    print("entries, chain skipped", 16, without);
    const double share = with.throughput / without.throughput;
    bench::tableRow(QStringLiteral("chain, %1, 16 writers: throughput with it vs without it").arg(backend),
                    perSecond(with.throughput), perSecond(without.throughput), bench::percent(share),
                    QStringLiteral("≥ 85%"), share >= 0.85);
}

// The account a recalculation is measured on: longer than the one (788 movements) whose
// recalculations, three at a time in a loop, held postings to it at a few a second.
constexpr int RecalculatedMovements = 1000;
const QString RecalculatedClient = bench::code(6000, 21);

void recalculate(const Ledger &ledger, const QString &client)
{
    const QCborArray args{QStringLiteral("0001"), client, QString(),
                          fw::dateTimeToCbor(QDateTime::fromMSecsSinceEpoch(bench::FirstDay)), QStringLiteral("0007")};
    const QCborMap envelope = QCborValue::fromCbor(ledger.setAtualizaCons(args).result).toMap();
    if (envelope.value(QLatin1String("payload")) != QCborValue(true))
        qFatal("setAtualizaCons: %s", qUtf8Printable(envelope.value(QLatin1String("message")).toString()));
}

void recalculationCost(const QString &backend, const Storage &storage, const PublishedLedger &published)
{
    const QSqlDatabase db = storage.connection();
    {
        Transaction t(storage, db);
        run(db, QStringLiteral("INSERT INTO CLIENTE VALUES (?, '52998224725', 'F', 'Cliente') ON CONFLICT DO NOTHING"),
            {RecalculatedClient});
        run(db, QStringLiteral("INSERT INTO CLIENFILIAL VALUES ('0001', ?) ON CONFLICT DO NOTHING"), {RecalculatedClient});
        for (int i = 1; i <= RecalculatedMovements; ++i)
            run(db, QStringLiteral("INSERT INTO MOVICLIE (CDCLIENTE, NRSEQMOVCLI, CDFILIAL, VRMOVCLI, DTMOVCLI, IDTIPMOCVLI,"
                                   " VRMOVPESCONS, CDOPERADOR, TIPO) VALUES (?, ?, '0001', ?, ?, ?, ?, '0007', 'M')"
                                   " ON CONFLICT DO NOTHING"),
                {RecalculatedClient, bench::code(i, 10), 500 + i % 3000, bench::FirstDay + i * 600000,
                 i % 5 == 0 ? QStringLiteral("C") : QStringLiteral("D"), i % 7});
        // Written beside the ledger: numbering goes on after them.
        run(db, QStringLiteral("INSERT INTO NUMMOVCLIE (CDCLIENTE, NRULTMOV) VALUES (?, ?) ON CONFLICT (CDCLIENTE)"
                               " DO UPDATE SET NRULTMOV = excluded.NRULTMOV WHERE NUMMOVCLIE.NRULTMOV < excluded.NRULTMOV"),
            {RecalculatedClient, RecalculatedMovements});
        t.commit();
    }
    auto postingsGo = [&] {
        run(db, QStringLiteral("DELETE FROM MOVICLIE WHERE CDCLIENTE = ? AND NRSEQMOVCLI > ?"),
            {RecalculatedClient, bench::code(RecalculatedMovements, 10)});
    };
    postingsGo(); // those an interrupted run left
    // Warm-up, and the balances right from here on.
    recalculate(published.ledger, RecalculatedClient);
    bench::queryStatement(storage, RecalculatedClient);
    std::vector<double> read, unchanged, rewritten;
    for (int i = 0; i < Runs * 20; ++i) {
        read.push_back(bench::timeMs([&] { bench::queryStatement(storage, RecalculatedClient); }));
        unchanged.push_back(bench::timeMs([&] { recalculate(published.ledger, RecalculatedClient); }));
        run(db, QStringLiteral("UPDATE MOVICLIE SET VRSALDOCONS = 0 WHERE CDCLIENTE = ?"), {RecalculatedClient});
        rewritten.push_back(bench::timeMs([&] { recalculate(published.ledger, RecalculatedClient); }));
    }
    const double bare = bench::median(read);
    const QString prefix = QStringLiteral("recalculation, %1, %2 movements: ").arg(backend).arg(RecalculatedMovements);
    for (const auto &[what, times] : {std::pair{"balances already right", &unchanged}, std::pair{"every balance rewritten", &rewritten}}) {
        const double ratio = bench::median(*times) / bare;
        std::printf("  recalculation, %-24s median %7.2f ms, one read %7.2f ms: %.2fx\n", what, bench::median(*times), bare, ratio);
        bench::tableRow(prefix + what + " vs one read", ms(bench::median(*times)), ms(bare), bench::times(ratio),
                        QStringLiteral("≤ 3x"), ratio <= 3);
    }

    // Postings to the account while three recalculate it without pause, beside the same
    // postings alone, run by run; each run's postings go again after it, so every run meets
    // the account as long. On PostgreSQL only: on SQLite three writers without pause keep the
    // writers' sign-ins from the file ("database is locked").
    if (storage.kind() != fw::DatabaseUrl::Kind::PostgreSQL)
        return;
    AppServer::Options options;
    options.workers = 4;
    AppServer appServer(published.dispatcher, options);
    if (!appServer.listen(nullptr))
        qFatal("cannot listen");
    const quint16 port = appServer.port();
    const Opener writers = [&](int) { return std::make_unique<EntryWriter>(port, RecalculatedClient); };
    Samples beside, alone;
    for (int r = 0; r < Runs; ++r) {
        std::atomic<bool> stop{false};
        std::vector<std::unique_ptr<QThread>> recalculators;
        for (int t = 0; t < 3; ++t) {
            recalculators.emplace_back(QThread::create([&] {
                while (!stop)
                    recalculate(published.ledger, RecalculatedClient);
            }));
            recalculators.back()->start();
        }
        burst(4, WritesPerRun / 4, writers, beside);
        stop = true;
        for (const auto &t : recalculators)
            t->wait();
        postingsGo();
        burst(4, WritesPerRun / 4, writers, alone);
        postingsGo();
    }
    print("postings beside recalculations", 4, beside.figures());
    print("postings alone", 4, alone.figures());
    const double share = beside.figures().throughput / alone.figures().throughput;
    bench::tableRow(prefix + "4 writers beside 3 recalculating vs alone", perSecond(beside.figures().throughput),
                    perSecond(alone.figures().throughput), bench::percent(share), QStringLiteral("≥ 50%"), share >= 0.5);
}

void benchmark(const QString &backend, const Storage &storage)
{
    const QSqlDatabase db = storage.connection();
    for (int t = 0; t < 16; ++t) {
        for (const QString &client : {writerClient(t), bareWriterClient(t), unchainedWriterClient(t)}) {
            run(db, QStringLiteral("INSERT INTO CLIENTE VALUES (?, '52998224725', 'F', 'Cliente') ON CONFLICT DO NOTHING"),
                {client});
            run(db, QStringLiteral("INSERT INTO CLIENFILIAL VALUES ('0001', ?) ON CONFLICT DO NOTHING"), {client});
        }
    }
    PublishedLedger published(storage);
    grantTestOperator(storage);
    std::printf("%s:\n", qUtf8Printable(backend));
    recalculationCost(backend, storage, published);
    for (const bool writing : {false, true}) {
        for (const int threads : Levels) {
            AppServer::Options options;
            options.workers = threads;
            AppServer appServer(published.dispatcher, options);
            if (!appServer.listen(nullptr))
                qFatal("cannot listen");
            const quint16 port = appServer.port();
            const QString url = storage.url();
            const int calls = writing ? WritesPerRun : ReadsPerRun;
            const auto [served, bare] = writing
                ? measure(threads, calls,
                          [&](int t) { return std::make_unique<EntryWriter>(port, writerClient(t)); },
                          [&](int t) { return std::make_unique<BareWriter>(url, bareWriterClient(t)); })
                : measure(threads, calls, [&](int) { return std::make_unique<StatementReader>(port); },
                          [&](int) { return std::make_unique<BareReader>(url); });
            print(writing ? "entries through the server" : "statements through the server", threads, served);
            print(writing ? "bare insert transactions" : "bare queries", threads, bare);
            const double throughput = served.throughput / bare.throughput, p99 = served.p99 / bare.p99;
            std::printf("  %-30s %2d threads: throughput %.0f%% of bare, p99 %.2fx bare, worst/median %.2fx\n", "",
                        threads, throughput * 100, p99, served.worst / served.p50);
            if (threads == 1 && !writing) // a reader alone: what one statement costs through the server
                bench::tableRow(QStringLiteral("concurrency, %1, 1 reader: throughput vs bare query").arg(backend),
                                perSecond(served.throughput), perSecond(bare.throughput), bench::percent(throughput),
                                QStringLiteral("≥ 50%"), throughput >= 0.5);
            if (threads != 16)
                continue;
            const QString prefix = QStringLiteral("concurrency, %1, 16 %2: ").arg(backend, writing ? "writers" : "readers");
            bench::tableRow(prefix + (writing ? "throughput vs bare insert" : "throughput vs bare query"),
                            perSecond(served.throughput), perSecond(bare.throughput), bench::percent(throughput),
                            QStringLiteral("≥ 50%"), throughput >= 0.5);
            if (!writing)
                bench::tableRow(prefix + "p99 vs bare p99", ms(served.p99), ms(bare.p99), bench::times(p99),
                                QStringLiteral("≤ 2x"), p99 <= 2);
            else
                bench::tableRow(prefix + "worst call vs median call", ms(served.worst), ms(served.p50),
                                bench::times(served.worst / served.p50), QStringLiteral("≤ 5x"),
                                served.worst / served.p50 <= 5);
        }
    }
    chainCost(backend, storage);
}

} // namespace

int main(int argc, char **argv)
{
    fw::keepLargeBuffersForReuse();
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath(QStringLiteral("bench.db"));
    {
        Storage storage(file);
        migrate(storage.connection(), storage.kind());
        bench::fillLedger(storage);
        benchmark(QStringLiteral("SQLite"), storage);
    }
    if (!qEnvironmentVariableIsEmpty("ACC00420_TEST_PG_URL")) {
        LedgerBackend postgres(QStringLiteral("postgresql")); // a database of its own, dropped after
        bench::fillLedger(postgres.storage(), 0);
        benchmark(QStringLiteral("PostgreSQL"), postgres.storage());
    }
    return 0;
}
