#include "accountservice.h"
#include "haproxyfront.h"
#include "ledgerbackend.h"
#include "movementfields.h"
#include <framework/data/recordset.h>
#include "serverprocess.h"
#include "testoperator.h"
#include "chain.h"
#include "chainverifier.h"
#include "testtls.h"

#include <QCborMap>
#include <QCborStreamWriter>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

#include <atomic>
#include <optional>
#include <map>
#include <optional>
#include <set>

using acc00420::AccountService;

// What the ledger promises when its server processes are killed, run side by side on one
// database, or reached through a TCP load balancer: through real acc00420-server processes.
namespace {

const QString C1 = QString(20, u'0') + u'1';
const QString C2 = QString(20, u'0') + u'2';
const QString Consumer = QString(20, u'0') + u'1';
const QDateTime Start(QDate(2026, 1, 1), QTime(0, 0)); // every movement is from here on

void seed(LedgerBackend &b)
{
    b.exec("INSERT INTO FILIAL VALUES ('0001', 'Matriz')");
    b.exec("INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR) VALUES ('0007', 'Maria'), ('0008', 'Ana')");
    b.exec("INSERT INTO CLIENTE VALUES (?, '11222333000181', 'J', 'Cantina'), (?, '52998224725', 'F', 'João')", {C1, C2});
    b.exec("INSERT INTO CLIENFILIAL VALUES ('0001', ?), ('0001', ?)", {C1, C2});
    b.exec("INSERT INTO CONSUMIDOR VALUES (?, ?, 'Ana Costa', NULL, NULL), (?, ?, 'Zé', NULL, NULL)",
           {C1, Consumer, C2, Consumer});
    b.exec("INSERT INTO CONSFILIAL VALUES (?, ?, '0001'), (?, ?, '0001')", {C1, Consumer, C2, Consumer});
    grantTestOperator(b.storage(), "0007");
    grantTestOperator(b.storage(), "0008");
}

// Two server instances on one seeded database, HAProxy in front of them once started.
struct TwoInstances
{
    LedgerBackend b;
    ServerProcess one, two;
    std::optional<HaproxyFront> front;

    explicit TwoInstances(const QString &backend)
        : b(backend)
        , one(ACC00420_SERVER_PATH, b.storage().url())
        , two(ACC00420_SERVER_PATH, b.storage().url())
    {
        seed(b);
    }
    // Both instances started, and the balancer too when `balanced`; what went wrong, else empty.
    QString start(bool balanced)
    {
        if (!one.start())
            return one.output();
        if (!two.start())
            return two.output();
        front.emplace(QList<quint16>{one.port(), two.port()});
        return balanced && !front->start() ? front->output() : QString();
    }
};

// A large account for C1: credits, debits, adjustments and cancelled rows whose date order is
// not their number order, never recalculated. Numbers are 1000000001 on: ten digits without a
// padding function both databases share.
constexpr qint64 BulkBase = 1000000000;
void seedLargeAccount(LedgerBackend &b, int movements)
{
    b.exec(QStringLiteral(
               "INSERT INTO MOVICLIE (CDCLIENTE, NRSEQMOVCLI, CDFILIAL, CDCONSUMIDOR, VRMOVCLI, DTMOVCLI, IDTIPMOCVLI,"
               " VRMOVPESCONS, TIPO) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1)"
               " SELECT ?, CAST(%2 + i AS VARCHAR(10)), '0001', ?, 1 + i * 37 % 5000,"
               " CAST(? AS BIGINT) + (i * 7919 % %1) * 60000,"
               " CASE WHEN i % 7 = 0 THEN 'X' WHEN i % 3 = 0 THEN 'C' WHEN i % 3 = 1 THEN 'D' ELSE 'A' END,"
               " i % 300, 'M' FROM n")
               .arg(movements).arg(BulkBase),
           {C1, Consumer, Start.toMSecsSinceEpoch()});
    b.exec("INSERT INTO NUMMOVCLIE (CDCLIENTE, NRULTMOV) VALUES (?, ?)", {C1, BulkBase + movements});
    server::sealAccounts(b.db()); // written here, not through the ledger
}

struct Posting
{
    QString client, number, type;
    qint64 company = 0, personal = 0, moment = 0;
    bool operator==(const Posting &) const = default;
};

// The k-th movement of poster `id`, with a value of its own so a mix-up shows.
Posting posting(int id, int k, const QString &client, const QString &number)
{
    return {client, number, QString(QLatin1Char("CDA"[k % 3])), 100 + 1000 * id + k, k % 2 ? 250 : 0,
            Start.addDays((id * 37 + k * 11) % 90).toMSecsSinceEpoch()};
}

// The delta the screen sends for the new movement.
QCborMap insertDelta(const Posting &p)
{
    fw::RecordSet set;
    acc00420::defineMovementFields(set);
    set.createDataSet();
    set.insert();
    set.fieldByName("CDCLIENTE").setAsString(p.client);
    set.fieldByName("NRSEQMOVCLI").setAsString(p.number);
    set.fieldByName("CDFILIAL").setAsString("0001");
    set.fieldByName("CDCONSUMIDOR").setAsString(Consumer);
    set.fieldByName("IDTIPMOCVLI").setAsString(p.type);
    set.fieldByName("VRMOVCLI").setAsFloat(double(p.company) / 100);
    set.fieldByName("VRMOVPESCONS").setAsFloat(double(p.personal) / 100);
    set.fieldByName("DTMOVCLI").setAsDateTime(QDateTime::fromMSecsSinceEpoch(p.moment));
    set.fieldByName("CDOPERADOR").setAsString("0007");
    set.post();
    return set.deltaPacket();
}

// An envelope that says ok (and, for a recalculation, true); else the reason in *why.
bool accepted(const fw::CborItem &result, QString *why, bool wantTrue = false)
{
    const QCborMap envelope = result.toValue().toMap();
    *why = envelope.value(QLatin1String("message")).toString();
    return envelope.value(QLatin1String("ok")).toBool()
        && (!wantTrue || envelope.value(QLatin1String("payload")) == QCborValue(true));
}

// A connection as a screen opens it; slow answers are allowed, lost ones are not.
void reach(fw::TNetConnection &connection, quint16 port, const QString &operatorCode = "0007")
{
    connection.setServerName(AccountService::ObjectName);
    connection.setPort(port);
    connection.setTimeoutMs(180000);
    signInOnOpen(connection, operatorCode);
}

// A screen on its own connection, in a thread of its own.
class Screen : public QThread
{
public:
    Screen(quint16 port, std::function<QString(AccountService &)> work, QString operatorCode = "0007")
        : m_port(port)
        , m_work(std::move(work))
        , m_operator(std::move(operatorCode))
    {
    }
    ~Screen() override { wait(); }
    QString refusal; // what the server refused, as the work reports it
    QString error;   // a call that got no answer

protected:
    void run() override
    {
        fw::TNetConnection connection;
        reach(connection, m_port, m_operator);
        AccountService service(connection);
        try {
            refusal = m_work(service);
        } catch (const fw::ServerCallError &e) {
            error = QString::fromUtf8(e.what());
        }
    }

private:
    quint16 m_port;
    std::function<QString(AccountService &)> m_work;
    QString m_operator;
};

// A screen posting one movement after another, each with a number it asks for first, until it
// has posted `count` or a call fails.
struct Poster
{
    QString client;
    QStringList numbers;                   // every number handed out to it
    QList<Posting> acknowledged;           // stored, the server said so
    std::optional<Posting> unacknowledged; // sent, no answer: the server may have stored it
    std::unique_ptr<Screen> screen;

    Poster(int id, quint16 port, const QString &account, int count, std::atomic<int> *posted)
        : client(account)
    {
        screen = std::make_unique<Screen>(port, [=, this](AccountService &service) {
            QString why;
            for (int k = 0; k < count; ++k) {
                numbers.append(acc00420::movementNumberText(service.getPrxMovClie(client)));
                unacknowledged = posting(id, k, client, numbers.last());
                if (!accepted(service.SetMovCliente(insertDelta(*unacknowledged)), &why))
                    return why;
                acknowledged.append(*std::exchange(unacknowledged, std::nullopt));
                ++*posted;
            }
            return QString();
        });
        screen->start();
    }
};

QString recalculation(AccountService &service, const QString &client, const QString &operatorCode = "0007",
                      const QDateTime &from = Start)
{
    QString why;
    if (accepted(service.setAtualizaCons("0001", client, "", from, operatorCode), &why, true))
        return {};
    return why.isEmpty() ? QStringLiteral("o recálculo respondeu false") : why;
}

// One call on a connection of the test's own.
template<typename Call>
auto onServer(quint16 port, Call call)
{
    fw::TNetConnection connection;
    reach(connection, port);
    AccountService service(connection);
    return call(service);
}

QString recalculate(quint16 port, const QString &client)
{
    return onServer(port, [&](AccountService &s) { return recalculation(s, client); });
}

qint64 nextNumber(quint16 port, const QString &client)
{
    return onServer(port, [&](AccountService &s) { return acc00420::movementNumberText(s.getPrxMovClie(client)).toLongLong(); });
}

// Empty when the ledger holds every acknowledged movement once, with its values and its one
// history row, an unacknowledged one whole or not at all, and nothing else; no number went to
// two posters.
QString movementProblem(LedgerBackend &b, const std::vector<std::unique_ptr<Poster>> &posters)
{
    std::map<std::pair<QString, QString>, Posting> acknowledged, uncertain;
    std::set<std::pair<QString, QString>> numbers;
    qsizetype handedOut = 0;
    for (const auto &p : posters) {
        for (const Posting &m : p->acknowledged)
            acknowledged[{m.client, m.number}] = m;
        if (p->unacknowledged)
            uncertain[{p->client, p->unacknowledged->number}] = *p->unacknowledged;
        for (const QString &n : p->numbers)
            numbers.insert({p->client, n});
        handedOut += p->numbers.size();
    }
    if (qsizetype(numbers.size()) != handedOut)
        return QStringLiteral("um número foi entregue duas vezes");
    QSqlQuery q = server::run(b.db(),
        "SELECT M.CDCLIENTE, M.NRSEQMOVCLI, M.IDTIPMOCVLI, M.VRMOVCLI, M.VRMOVPESCONS, M.DTMOVCLI,"
        " (SELECT COUNT(*) FROM HISTMOVCLIE H WHERE H.CDCLIENTE = M.CDCLIENTE AND H.NRSEQMOVCLI = M.NRSEQMOVCLI)"
        " FROM MOVICLIE M");
    int stored = 0;
    while (q.next()) {
        const Posting m{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                        q.value(3).toLongLong(), q.value(4).toLongLong(), q.value(5).toLongLong()};
        const auto key = std::make_pair(m.client, m.number);
        const auto known = acknowledged.count(key) ? acknowledged.find(key) : uncertain.find(key);
        if (known == uncertain.end())
            return "lançamento desconhecido " + m.number;
        if (!(known->second == m))
            return "lançamento " + m.number + " gravado com outros valores";
        if (q.value(6).toInt() != 1)
            return QStringLiteral("lançamento %1 com %2 linhas de histórico").arg(m.number).arg(q.value(6).toInt());
        stored += acknowledged.count(key) ? 1 : 0;
    }
    if (stored != int(acknowledged.size()))
        return QStringLiteral("%1 lançamentos confirmados faltam").arg(int(acknowledged.size()) - stored);
    QSqlQuery history = server::run(b.db(), "SELECT COUNT(*) FROM HISTMOVCLIE H WHERE NOT EXISTS (SELECT 1 FROM MOVICLIE M"
                                            " WHERE M.CDCLIENTE = H.CDCLIENTE AND M.NRSEQMOVCLI = H.NRSEQMOVCLI)");
    history.next();
    if (history.value(0).toInt())
        return QStringLiteral("histórico sem lançamento");
    // Every account's chain whole, one chain per account however many instances wrote it.
    const auto chain = server::verifyChains(b.db()).difference;
    return chain ? "cadeia: " + *chain : QString();
}

// Empty when every movement of the account carries the running balances of the balance rule
// (docs/ledger.md), recomputed here from its movements.
QString balanceProblem(LedgerBackend &b, const QString &client)
{
    QSqlQuery q = server::run(b.db(), "SELECT NRSEQMOVCLI, IDTIPMOCVLI, VRMOVCLI, VRMOVPESCONS, VRSALDOCONS, VRSALDPECONS"
                                      " FROM MOVICLIE WHERE CDCLIENTE = ? ORDER BY DTMOVCLI, NRSEQMOVCLI", {client});
    qint64 company = 0, personal = 0;
    while (q.next()) {
        const QString type = q.value(1).toString();
        const int sign = type == "C" ? 1 : type == "X" ? 0 : -1;
        company += sign * q.value(2).toLongLong();
        personal += sign * q.value(3).toLongLong();
        if (q.value(4).toLongLong() != company || q.value(5).toLongLong() != personal)
            return QStringLiteral("lançamento %1: saldos %2/%3, a regra dá %4/%5")
                .arg(q.value(0).toString()).arg(q.value(4).toLongLong()).arg(q.value(5).toLongLong()).arg(company).arg(personal);
    }
    return {};
}

// How many recalculations the account's rows show (distinct moments and operators), and how
// many rows none reached; of the rows from `from` up to `until` (all of them by default).
struct Recalculations
{
    int moments = 0, operators = 0, untouched = 0;
    QString operatorCode;
};
Recalculations recalculations(LedgerBackend &b, const QString &client, const QDateTime &from = Start,
                              const QDateTime &until = Start.addYears(10))
{
    QSqlQuery q = server::run(b.db(), "SELECT COUNT(DISTINCT DTRECMOVCLIE), COUNT(DISTINCT CDOPERRECA),"
                                      " SUM(CASE WHEN DTRECMOVCLIE IS NULL THEN 1 ELSE 0 END), MAX(CDOPERRECA)"
                                      " FROM MOVICLIE WHERE CDCLIENTE = ? AND DTMOVCLI >= ? AND DTMOVCLI < ?",
                              {client, from.toMSecsSinceEpoch(), until.toMSecsSinceEpoch()});
    q.next();
    return {q.value(0).toInt(), q.value(1).toInt(), q.value(2).toInt(), q.value(3).toString()};
}

// The stored running balances of the account, in order.
QList<qint64> balances(LedgerBackend &b, const QString &client)
{
    QList<qint64> list;
    QSqlQuery q = server::run(b.db(), "SELECT VRSALDOCONS, VRSALDPECONS FROM MOVICLIE WHERE CDCLIENTE = ?"
                                      " ORDER BY DTMOVCLI, NRSEQMOVCLI", {client});
    while (q.next())
        list << q.value(0).toLongLong() << q.value(1).toLongLong();
    return list;
}

// Bytes the database has on disk for the ledger's changes: SQLite's write-ahead log, which a
// transaction spills its changed pages into before it commits; PostgreSQL's movement table,
// which grows by a new version of each row updated.
qint64 changesOnDisk(LedgerBackend &b, const QString &backend)
{
    if (backend == QLatin1String("sqlite"))
        return QFileInfo(b.storage().url() + "-wal").size();
    QSqlQuery q = server::run(b.db(), "SELECT pg_relation_size('moviclie')");
    return q.next() ? q.value(0).toLongLong() : -1;
}

// Waits until a recalculation of C1, started after `before` was taken, has its balance
// updates under way: their changes take space on disk, or some are even committed already.
bool recalculationUnderway(LedgerBackend &b, const QString &backend, qint64 before)
{
    return QTest::qWaitFor([&] {
        return changesOnDisk(b, backend) > before + 512 * 1024 || recalculations(b, C1).moments > 0;
    }, 120000);
}

// The disk mark a recalculation is measured from; SQLite's log is emptied first, since it is
// reused without growing once full.
qint64 markChanges(LedgerBackend &b, const QString &backend)
{
    if (backend == QLatin1String("sqlite"))
        server::run(b.db(), "PRAGMA wal_checkpoint(TRUNCATE)");
    return changesOnDisk(b, backend);
}

// Big enough that a recalculation is seen under way on each database (SQLite's log spill
// needs megabytes of changed pages), small enough to stay quick.
int largeAccount(const QString &backend)
{
    return backend == QLatin1String("sqlite") ? 40000 : 10000;
}

void waitAll(const std::vector<std::unique_ptr<Poster>> &posters)
{
    for (const auto &p : posters)
        p->screen->wait();
}

} // namespace

class TestServerFaults : public QObject
{
    Q_OBJECT

    void backends()
    {
        QTest::addColumn<QString>("backend");
        LedgerBackend::addRows([](const QString &kind) { QTest::newRow(qPrintable(kind)) << kind; });
    }

private slots:
    // Four screens post to two accounts; the server is killed in the middle of it and started
    // again on the same database.
    void killedWhilePosting_data() { backends(); }
    void killedWhilePosting()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        seed(b);
        ServerProcess server(ACC00420_SERVER_PATH, b.storage().url());
        QVERIFY2(server.start(), qPrintable(server.output()));
        std::atomic<int> posted{0};
        std::vector<std::unique_ptr<Poster>> posters;
        for (int i = 0; i < 4; ++i)
            posters.push_back(std::make_unique<Poster>(i, server.port(), i % 2 ? C2 : C1, 1000, &posted));
        QVERIFY(QTest::qWaitFor([&] { return posted >= 40; }, 120000));
        server.kill();
        waitAll(posters);
        QVERIFY2(server.start(), qPrintable(server.output()));
        QString problem = movementProblem(b, posters);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));

        // Each screen sends its unanswered movement again, as the screen does: stored once.
        for (const auto &p : posters) {
            QVERIFY2(p->screen->refusal.isEmpty(), qPrintable(p->screen->refusal));
            QVERIFY2(!p->screen->error.isEmpty(), "a poster finished before the server was killed");
            if (!p->unacknowledged)
                continue;
            QString why;
            QVERIFY2(onServer(server.port(), [&](AccountService &s) { return accepted(s.SetMovCliente(insertDelta(*p->unacknowledged)), &why); }),
                     qPrintable(why));
            p->acknowledged.append(*std::exchange(p->unacknowledged, std::nullopt));
        }
        problem = movementProblem(b, posters);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        for (const QString &client : {C1, C2}) {
            qint64 last = 0;
            for (const auto &p : posters) {
                if (p->client == client && !p->numbers.isEmpty())
                    last = std::max(last, p->numbers.last().toLongLong());
            }
            QVERIFY(nextNumber(server.port(), client) > last);
            QCOMPARE(recalculate(server.port(), client), QString());
            problem = balanceProblem(b, client);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        }
    }

    // The server is killed while it recalculates a large account: after the restart the
    // account shows the whole recalculation or none of it, and numbering goes on.
    void killedWhileRecalculating_data() { backends(); }
    void killedWhileRecalculating()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        seed(b);
        seedLargeAccount(b, largeAccount(backend));
        ServerProcess server(ACC00420_SERVER_PATH, b.storage().url());
        QVERIFY2(server.start(), qPrintable(server.output()));
        const qint64 mark = markChanges(b, backend);
        Screen killed(server.port(), [](AccountService &s) { return recalculation(s, C1); });
        killed.start();
        QVERIFY(recalculationUnderway(b, backend, mark));
        server.kill();
        killed.wait();
        QVERIFY2(server.start(), qPrintable(server.output()));

        const Recalculations after = recalculations(b, C1);
        QVERIFY2(after.untouched == largeAccount(backend) || (after.untouched == 0 && after.moments == 1),
                 qPrintable(QStringLiteral("%1 linhas sem recálculo, %2 momentos").arg(after.untouched).arg(after.moments)));
        if (after.untouched == 0)
            QCOMPARE(balanceProblem(b, C1), QString());
        QCOMPARE(nextNumber(server.port(), C1), BulkBase + largeAccount(backend) + 1);
        QCOMPARE(recalculate(server.port(), C1), QString());
        QCOMPARE(balanceProblem(b, C1), QString());
    }

    // A second recalculation of an account while a first one runs, from another connection
    // and from the middle of the account on: it waits its turn. Interleaved, the first would
    // Off loopback the server starts only with TLS, or with plain TCP asked for by name, which
    // it warns about; with TLS a client that trusts the tests' authority is served.
    void offLoopbackOnlyWithTls_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("says");
        QTest::newRow("plain") << QStringList{"--listen=0.0.0.0"} << false
                               << "TLS obrigatório fora de 127.0.0.1: use --tls-cert e --tls-key, ou --insecure-plaintext";
        QTest::newRow("plain on purpose") << QStringList{"--listen=0.0.0.0", "--insecure-plaintext"} << true << "AVISO: sem TLS";
        QTest::newRow("tls") << QStringList{"--listen=0.0.0.0", "--tls-cert=" + testTlsFile("server.pem"),
                                            "--tls-key=" + testTlsFile("server.key")}
                             << true << "com TLS";
        QTest::newRow("a key without its certificate") << QStringList{"--tls-key=" + testTlsFile("server.key")} << false
                                                       << "informe --tls-cert e --tls-key juntos";
    }
    void offLoopbackOnlyWithTls()
    {
        QFETCH(QStringList, options);
        QFETCH(bool, starts);
        QFETCH(QString, says);
        LedgerBackend b("sqlite");
        seed(b);
        ServerProcess server(ACC00420_SERVER_PATH, b.storage().url(), options);
        QCOMPARE(server.start(), starts);
        QTRY_VERIFY2(server.output().contains(says), qPrintable(server.output()));
        if (!starts)
            return;
        fw::TNetConnection connection;
        reach(connection, server.port());
        connection.setTls(options.join(' ').contains("--tls-cert"), testAuthority());
        AccountService service(connection);
        QVERIFY(acc00420::movementNumberText(service.getPrxMovClie(C1)).toLongLong() > 0);
    }

    // What hostile clients send stays bounded: four unfinished frames of 48 MiB leave the server's
    // resident memory (the kernel's high-water mark) under half of what they sent, held to
    // --max-held-mb; one request of twenty million arguments is refused by its count, before
    // they are decoded, at no more than three times its size (it was eighteen). Others are served
    // throughout.
    void memoryStaysBoundedUnderAttack_data()
    {
        QTest::addColumn<int>("connections");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<qint64>("announced");
        QTest::addColumn<double>("bound"); // growth allowed, as a share of what was sent
        QTest::newRow("unfinished frames") << 4 << QByteArray(48 * 1024 * 1024, '\0') << qint64(60 * 1024 * 1024) << 0.5;
        QByteArray request;
        QCborStreamWriter writer(&request);
        writer.startMap(4);
        for (const char *key : {"id", "object", "method"}) {
            writer.append(QLatin1String(key));
            writer.append(QLatin1String(key == std::string_view("id") ? "7" : "x"));
        }
        writer.append(QLatin1String("args"));
        request += QByteArray::fromHex("9a01312d00") + QByteArray(20000000, '\x01');
        QTest::newRow("twenty million arguments") << 1 << request << qint64(request.size()) << 3.0;
    }
    void memoryStaysBoundedUnderAttack()
    {
        QFETCH(int, connections);
        QFETCH(QByteArray, payload);
        QFETCH(qint64, announced);
        QFETCH(double, bound);
        LedgerBackend b("sqlite");
        seed(b);
        ServerProcess server(ACC00420_SERVER_PATH, b.storage().url(), {"--max-held-mb=32"});
        QVERIFY2(server.start(), qPrintable(server.output()));
        auto residentPeakKiB = [&] {
            QFile status(QStringLiteral("/proc/%1/status").arg(server.pid()));
            status.open(QIODevice::ReadOnly);
            const QByteArray text = status.readAll();
            const qsizetype at = text.indexOf("VmHWM:");
            return text.mid(at + 6, text.indexOf('\n', at) - at - 6).trimmed().split(' ').first().toLongLong();
        };
        // A sign-in's password hash takes its own tens of megabytes: counted before the attack.
        QVERIFY(nextNumber(server.port(), C1) > 0);
        const qint64 before = residentPeakKiB();
        std::vector<std::unique_ptr<QTcpSocket>> attackers;
        for (int i = 0; i < connections; ++i) {
            attackers.push_back(std::make_unique<QTcpSocket>());
            attackers.back()->connectToHost(QHostAddress::LocalHost, server.port());
            QVERIFY(attackers.back()->waitForConnected(5000));
            attackers.back()->write(fw::frameHeader(announced) + payload);
        }
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(attackers.cbegin(), attackers.cend(), [](const auto &a) {
                                     return a->bytesToWrite() == 0 || a->state() != QAbstractSocket::ConnectedState;
                                 }), 120000);
        QVERIFY(nextNumber(server.port(), C1) > 0);
        const qint64 grownMiB = (residentPeakKiB() - before) / 1024;
        const qint64 sentMiB = connections * qint64(payload.size()) / (1024 * 1024);
        QVERIFY2(grownMiB < sentMiB * bound, qPrintable(QStringLiteral("grew %1 MiB of %2 MiB sent").arg(grownMiB).arg(sentMiB)));
    }

    // overwrite part of what the second did.
    void twoRecalculationsAtOnce_data() { backends(); }
    void twoRecalculationsAtOnce()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        seed(b);
        seedLargeAccount(b, largeAccount(backend));
        ServerProcess server(ACC00420_SERVER_PATH, b.storage().url());
        QVERIFY2(server.start(), qPrintable(server.output()));
        const qint64 mark = markChanges(b, backend);
        Screen one(server.port(), [](AccountService &s) { return recalculation(s, C1, "0007"); });
        one.start();
        QVERIFY(recalculationUnderway(b, backend, mark));
        const QDateTime middle = Start.addSecs(60 * largeAccount(backend) / 2); // the movements span a minute each
        Screen other(server.port(), [&](AccountService &s) { return recalculation(s, C1, "0008", middle); }, "0008");
        other.start();
        one.wait();
        other.wait();
        for (const Screen *s : {&one, &other})
            QVERIFY2(s->refusal.isEmpty() && s->error.isEmpty(), qPrintable(s->refusal + s->error));
        // The second, waiting for the first, finds the balances after the middle right and
        // rewrites none of them: every row keeps the first one's stamp.
        for (const auto &[from, until, operatorCode] : {std::tuple(Start, middle, "0007"), std::tuple(middle, Start.addYears(10), "0007")}) {
            const Recalculations after = recalculations(b, C1, from, until);
            QCOMPARE(after.untouched, 0);
            QCOMPARE(after.moments, 1);
            QCOMPARE(after.operators, 1);
            QCOMPARE(after.operatorCode, QString(operatorCode));
        }
        QCOMPARE(balanceProblem(b, C1), QString());
    }

    // Two servers on one database, sixteen screens spread over them (directly, or through a
    // TCP load balancer), numbering and posting to two accounts at once, then all
    // recalculating: as one server would have left it.
    void twoInstancesOneDatabase_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<bool>("balanced");
        LedgerBackend::addRows([](const QString &kind) {
            QTest::newRow(qPrintable(kind)) << kind << false;
            QTest::newRow(qPrintable(kind + " behind haproxy")) << kind << true;
        });
    }
    void twoInstancesOneDatabase()
    {
        QFETCH(QString, backend);
        QFETCH(bool, balanced);
        if (balanced && HaproxyFront::program().isEmpty())
            QSKIP("haproxy is not installed");
        TwoInstances servers(backend);
        const QString failed = servers.start(balanced);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        auto &[b, one, two, balancer] = servers;
        HaproxyFront &front = *balancer;

        constexpr int Screens = 16;
        auto port = [&](int i) { return balanced ? front.port() : (i % 2 ? two : one).port(); };
        auto account = [](int i) { return i % 4 < 2 ? C1 : C2; };
        std::atomic<int> posted{0};
        std::vector<std::unique_ptr<Poster>> posters;
        for (int i = 0; i < Screens; ++i)
            posters.push_back(std::make_unique<Poster>(i, port(i), account(i), 6, &posted));
        waitAll(posters);
        for (const auto &p : posters)
            QVERIFY2(p->screen->refusal.isEmpty() && p->screen->error.isEmpty(),
                     qPrintable(p->screen->refusal + p->screen->error + "\n" + one.output() + two.output()));
        QCOMPARE(posted.load(), Screens * 6);
        const QString problem = movementProblem(b, posters);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));

        // Then every screen recalculates its account, all at once.
        std::vector<std::unique_ptr<Screen>> recalculating;
        for (int i = 0; i < Screens; ++i) {
            recalculating.push_back(std::make_unique<Screen>(port(i), [=](AccountService &s) { return recalculation(s, account(i)); }));
            recalculating.back()->start();
        }
        for (const auto &r : recalculating)
            r->wait();
        for (const auto &r : recalculating)
            QVERIFY2(r->refusal.isEmpty() && r->error.isEmpty(), qPrintable(r->refusal + r->error));

        for (const QString &client : {C1, C2}) {
            const Recalculations after = recalculations(b, client);
            QCOMPARE(after.untouched, 0);
            QCOMPARE(after.moments, 1); // the last of the eight rewrote the whole account
            QCOMPARE(balanceProblem(b, client), QString());
            const QList<qint64> concurrent = balances(b, client);
            QCOMPARE(recalculate(one.port(), client), QString());
            QCOMPARE(balances(b, client), concurrent);
            const qint64 a = nextNumber(one.port(), client), c = nextNumber(two.port(), client);
            QCOMPARE(std::max(a, c), Screens / 2 * 6 + 2); // nothing handed out twice, or skipped
            QCOMPARE(std::min(a, c), Screens / 2 * 6 + 1);
        }
    }

    // One of two instances behind HAProxy killed: new sessions, and the open sessions that were
    // on it, are served by the other. How long they waited and when HAProxy marked the instance
    // down are printed, measured with the configuration docs/operations.md gives.
    void killedBehindHaproxy_data() { backends(); }
    void killedBehindHaproxy()
    {
        QFETCH(QString, backend);
        if (HaproxyFront::program().isEmpty())
            QSKIP("haproxy is not installed");
        TwoInstances servers(backend);
        const QString failed = servers.start(true);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        auto &[b, one, two, balancer] = servers;
        HaproxyFront &front = *balancer;
        // A new session's first call: connect, sign in, ask for a number.
        auto firstCall = [&] {
            QElapsedTimer call;
            call.start();
            nextNumber(front.port(), C1);
            return call.elapsed();
        };
        const qint64 usual = std::max(firstCall(), firstCall()); // one on each instance

        std::atomic<bool> killed{false};
        QElapsedTimer sinceKill;
        std::atomic<qint64> openAnswered{0}, newWaited{0};
        auto longest = [](std::atomic<qint64> &to, qint64 ms) {
            for (qint64 was = to; was < ms && !to.compare_exchange_weak(was, ms);) {}
        };
        // Four open sessions, taken in turn by the instances: two on the one that goes. Each is
        // idle at the kill and calls again after it, once a connection to the instance gone is
        // seen to end, as a screen sees it (one that calls at that very moment gets no answer).
        std::atomic<int> ready{0}, dropped{0};
        std::vector<std::unique_ptr<Screen>> screens;
        for (int i = 0; i < 4; ++i) {
            screens.push_back(std::make_unique<Screen>(front.port(), [&](AccountService &) {
                fw::TNetConnection connection;
                reach(connection, front.port());
                AccountService s(connection);
                s.getPrxMovClie(C1);
                ++ready;
                if (!QTest::qWaitFor([&] { return killed.load(); }, 120000))
                    return QStringLiteral("the instance was never killed");
                const bool ended = QTest::qWaitFor([&] { return !connection.connected(); }, 2000);
                s.getPrxMovClie(C1);
                if (ended) {
                    ++dropped;
                    longest(openAnswered, sinceKill.elapsed());
                }
                return QString();
            }));
            screens.back()->start();
            QVERIFY(QTest::qWaitFor([&] { return ready == i + 1; }, 60000));
        }
        QTRY_COMPARE(one.connections(), 2);
        one.kill();
        sinceKill.start();
        killed = true;
        // And new sessions, one after another, as terminals come in.
        screens.push_back(std::make_unique<Screen>(front.port(), [&](AccountService &) {
            for (int i = 0; i < 4; ++i)
                longest(newWaited, firstCall());
            return QString();
        }));
        screens.back()->start();

        QString log;
        qint64 markedDown = -1;
        auto watch = [&] {
            log += front.output();
            if (markedDown < 0 && log.contains(QLatin1String("Server acc00420/app1 is DOWN")))
                markedDown = sinceKill.elapsed();
            return markedDown >= 0;
        };
        QVERIFY(QTest::qWaitFor([&] {
            watch();
            return std::all_of(screens.cbegin(), screens.cend(), [](const auto &s) { return s->isFinished(); });
        }, 180000));
        const bool down = QTest::qWaitFor(watch, 30000);
        qInfo("%s: a new session's first call takes %lld ms; after the kill new sessions took up to %lld ms, the %d"
              " open ones it dropped were answered again %lld ms after it at the latest; HAProxy marked the instance"
              " down %s",
              qPrintable(backend), usual, newWaited.load(), dropped.load(), openAnswered.load(),
              !down ? "not within 30 s" : qPrintable(QStringLiteral("%1 ms after the kill").arg(markedDown)));
        for (const auto &s : screens)
            QVERIFY2(s->refusal.isEmpty() && s->error.isEmpty(), qPrintable(s->refusal + s->error + "\n" + log));
    }
};

QTEST_GUILESS_MAIN(TestServerFaults)
#include "tst_serverfaults.moc"
