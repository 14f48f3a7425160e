#include "accountmethods.h"
#include "ledgerbackend.h"
#include "movementfields.h"
#include "operators.h"
#include "publishedledger.h"
#include "serverprocess.h"

#include <framework/data/netconnection.h>
#include <framework/data/protocol.h>
#include <framework/data/recordset.h>
#include <framework/data/sessioncontract.h>

#include <QCborMap>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTest>

using server::Caller;
using server::Outcome;

// Who may touch the ledger: sign-in, lockout, sessions across instances and their end, and what
// each right lets a session do, on SQLite and PostgreSQL.
namespace {

const QString C1 = QString(20, u'0') + u'1'; // served at 0001
const QString C2 = QString(20, u'0') + u'2'; // served at 0002 only
const QDateTime Noon(QDate(2026, 11, 20), QTime(12, 0));

// Branches, two clients, a movement of C1 and a sale at 0001; operator 0007 with every right
// at both branches, 0012 with consultar and lancar at 0001, 0030 disabled.
void seed(LedgerBackend &b)
{
    b.exec("INSERT INTO FILIAL VALUES ('0001', 'Matriz'), ('0002', 'Filial')");
    b.exec("INSERT INTO CLIENTE VALUES (?, '11222333000181', 'J', 'Cantina'), (?, '52998224725', 'F', 'João')", {C1, C2});
    b.exec("INSERT INTO CLIENFILIAL VALUES ('0001', ?), ('0002', ?)", {C1, C2});
    b.exec("INSERT INTO MOVICLIE (CDCLIENTE, NRSEQMOVCLI, CDFILIAL, VRMOVCLI, DTMOVCLI, IDTIPMOCVLI, VRMOVPESCONS,"
           " TIPO, CDOPERADOR) VALUES (?, '0000000001', '0001', 500, 1, 'C', 0, 'M', NULL)", {C1});
    b.exec("INSERT INTO NUMMOVCLIE (CDCLIENTE, NRULTMOV) VALUES (?, 1)", {C1});
    b.exec("INSERT INTO VENDA VALUES ('0001', '002', '0000000050', 1, 2, 700, 'A', NULL, NULL)");
    b.exec("INSERT INTO RECEBIMENTO VALUES ('0001', '002', '0000000050', '004', 700, 'A', NULL)");
    const server::Passwords passwords(1);
    const server::Operators operators(b.storage(), passwords);
    const QStringList every = server::rightNames();
    operators.add({"0007", "Operador Demonstração", true, {"0001", "0002"}, every}, "demo0007");
    operators.add({"0012", "Caixa Demonstração", true, {"0001"}, {"consultar", "lancar"}}, "demo0012");
    operators.add({"0030", "Antigo", true, {"0001"}, every}, "demo0030");
    operators.disable("0030");
}

struct Reply
{
    bool ok = false;
    QString message; // the envelope's, or the error reply's code and message
    QCborMap payload;
};

Reply replyOf(const Outcome &o)
{
    if (o.failed())
        return {false, o.errorCode + ": " + o.errorMessage, {}};
    const QCborMap envelope = QCborValue::fromCbor(o.result).toMap();
    return {envelope.value(QLatin1String("ok")).toBool(), envelope.value(QLatin1String("message")).toString(),
            envelope.value(QLatin1String("payload")).toMap()};
}

// One server instance on the ledger, with a clock the test moves.
struct Instance
{
    qint64 now = Noon.toMSecsSinceEpoch();
    server::Storage storage;
    PublishedLedger published;

    explicit Instance(const QString &url)
        : storage(url)
        , published(storage, {.now = [this] { return now; }})
    {
    }
    Reply call(Caller &caller, const char *object, const QString &method, const QCborArray &args)
    {
        return replyOf(published.dispatcher.dispatch(QLatin1String(object), method, args, caller));
    }
    Reply signIn(Caller &caller, const QString &code, const QString &password, const QString &branch = "0001")
    {
        return call(caller, fw::SessionObjectName, "entrar", {code, password, branch, "caixa-3"});
    }
    Reply ledger(Caller &caller, const QString &method, const QCborArray &args)
    {
        return call(caller, acc00420::AccountObjectName, method, args);
    }
};

QCborValue at(const QDateTime &moment)
{
    return fw::dateTimeToCbor(moment);
}

// The delta of one change to C1's movement 1, or of a new movement of C1 under `operatorCode`
// with `observation`.
QCborMap delta(const QString &change, const QString &operatorCode = "0007", const QString &observation = {})
{
    fw::RecordSet set;
    acc00420::defineMovementFields(set);
    set.createDataSet();
    set.insert();
    set.fieldByName("CDCLIENTE").setAsString(C1);
    set.fieldByName("NRSEQMOVCLI").setAsString(change == "insert" ? "0000000002" : "0000000001");
    set.fieldByName("CDFILIAL").setAsString("0001");
    set.fieldByName("IDTIPMOCVLI").setAsString("C");
    set.fieldByName("VRMOVCLI").setAsFloat(5);
    set.fieldByName("VRMOVPESCONS").setAsFloat(0);
    set.fieldByName("DTMOVCLI").setAsDateTime(QDateTime::fromMSecsSinceEpoch(1));
    set.fieldByName("CDOPERADOR").setAsString(operatorCode);
    if (!observation.isEmpty())
        set.fieldByName("DSHISTMOV").setAsString(observation);
    set.post();
    if (change == "insert")
        return set.deltaPacket();
    set.mergeChangeLog();
    if (change == "delete") {
        set.deleteRecord();
    } else {
        set.edit();
        set.fieldByName(change == "cancel" ? "IDTIPMOCVLI" : "DSHISTMOV").setAsString(change == "cancel" ? "X" : "Nota");
        set.post();
    }
    return set.deltaPacket();
}

void backends()
{
    QTest::addColumn<QString>("backend");
    LedgerBackend::addRows([](const QString &kind) { QTest::newRow(qPrintable(kind)) << kind; });
}

} // namespace

class TestSessions : public QObject
{
    Q_OBJECT

private slots:
    void signIn_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("branch");
        QTest::addColumn<QString>("refusal");
        const QString invalid = "Operador ou senha inválidos.";
        LedgerBackend::addRows([&](const QString &kind) {
            auto row = [&](const char *name) { return &(QTest::newRow(qPrintable(kind + ": " + name)) << kind); };
            *row("right password") << "0012" << "demo0012" << "0001" << "";
            *row("wrong password") << "0012" << "demo0007" << "0001" << invalid;
            *row("unknown code") << "0099" << "demo0012" << "0001" << invalid;
            *row("inactive") << "0030" << "demo0030" << "0001" << invalid;
            *row("branch not granted") << "0012" << "demo0012" << "0002" << "O operador 0012 não trabalha na filial 0002.";
        });
    }
    void signIn()
    {
        QFETCH(QString, backend);
        QFETCH(QString, code);
        QFETCH(QString, password);
        QFETCH(QString, branch);
        QFETCH(QString, refusal);
        LedgerBackend b(backend);
        seed(b);
        Instance server(b.storage().url());
        Caller caller;
        const Reply r = server.signIn(caller, code, password, branch);
        QCOMPARE(r.message, refusal);
        QCOMPARE(r.ok, refusal.isEmpty());
        QCOMPARE(caller.signedIn(), refusal.isEmpty());
        if (r.ok) {
            QCOMPARE(r.payload.value(QLatin1String("nome")).toString(), QStringLiteral("Caixa Demonstração"));
            QCOMPARE(r.payload.value(QLatin1String("permissoes")).toArray(), (QCborArray{"consultar", "lancar"}));
            QVERIFY(r.payload.value(QLatin1String("token")).toString().size() >= 43); // 32 random bytes
            QCOMPARE(*fw::dateTimeFromCbor(r.payload.value(QLatin1String("expira"))), Noon.addSecs(12 * 3600));
            // Only the token's hash is kept.
            QSqlQuery q = server::run(b.db(), "SELECT COUNT(*) FROM SESSAO WHERE DSHASH = ? AND DSTERMINAL = 'caixa-3'",
                                      {r.payload.value(QLatin1String("token")).toString()});
            QVERIFY(q.next() && q.value(0).toInt() == 0);
        }
    }

    // Five failures in a row lock the code for every instance on the database, even for the
    // right password, until the fifteen minutes are over.
    void lockoutAfterFiveFailures_data() { backends(); }
    void lockoutAfterFiveFailures()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        seed(b);
        Instance one(b.storage().url()), two(b.storage().url());
        Caller caller;
        for (int i = 0; i < 5; ++i)
            QCOMPARE(one.signIn(caller, "0012", "errada123").message, QStringLiteral("Operador ou senha inválidos."));
        const QString locked = QStringLiteral("Acesso bloqueado por excesso de tentativas. Tente de novo depois das %1.")
                                   .arg(Noon.addSecs(15 * 60).toString("HH:mm"));
        QCOMPARE(two.signIn(caller, "0012", "demo0012").message, locked);
        QCOMPARE(one.signIn(caller, "0099", "x").message, QStringLiteral("Operador ou senha inválidos.")); // codes apart
        two.now += 15 * 60 * 1000;
        QVERIFY(two.signIn(caller, "0012", "demo0012").ok);
    }

    // A session resumes on another instance; it ends at sair, after twelve hours unused, and
    // when its operator is disabled: the next request is told to sign in again.
    void sessionsResumeAndEnd_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("ending");
        LedgerBackend::addRows([](const QString &kind) {
            for (const char *ending : {"sair", "twelve hours unused", "operator disabled"})
                QTest::newRow(qPrintable(kind + ": " + ending)) << kind << ending;
        });
    }
    void sessionsResumeAndEnd()
    {
        QFETCH(QString, backend);
        QFETCH(QString, ending);
        LedgerBackend b(backend);
        seed(b);
        Instance one(b.storage().url()), two(b.storage().url());
        Caller first, second;
        const QString token = one.signIn(first, "0007", "demo0007").payload.value(QLatin1String("token")).toString();
        two.now += 11 * 3600 * 1000; // used within the twelve hours
        const Reply resumed = two.call(second, fw::SessionObjectName, "retomar", {token});
        QVERIFY2(resumed.ok, qPrintable(resumed.message));
        QCOMPARE(resumed.payload.value(QLatin1String("nome")).toString(), QStringLiteral("Operador Demonstração"));
        QVERIFY(two.ledger(second, "getConsumidor", {C1, "", "T", "0001"}).ok);

        if (ending == "sair")
            QVERIFY(one.call(first, fw::SessionObjectName, "sair", {}).ok);
        else if (ending == "operator disabled")
            server::Operators(b.storage(), one.published.passwords).disable("0007");
        else
            two.now += 12 * 3600 * 1000 + 1;
        const QString ended = "unauthenticated: Sessão encerrada; entre de novo.";
        QCOMPARE(two.ledger(second, "getConsumidor", {C1, "", "T", "0001"}).message, ended);
        QVERIFY(!second.signedIn());
        const Reply again = two.call(second, fw::SessionObjectName, "retomar", {token});
        QCOMPARE(again.message, QStringLiteral("Sessão encerrada; entre de novo."));
    }

    void everyMethodAsksForASignIn_data() { backends(); }
    void everyMethodAsksForASignIn()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        seed(b);
        Instance server(b.storage().url());
        const QCborArray samples[] = {{"", "T", C1, at(Noon)}, {"0001", C1, "", at(Noon), "0007"}, {C1, "", "T", "0001"},
                                      {delta("insert")}, {C1}, {"X", "0007", at(Noon), "t", C1, "0000000001"},
                                      {"t", "0001", "002", "0000000050"}, {"0001", "002", "0000000050"}, {C1},
                                      {"", "T", C1, at(Noon), 0}, {C1}, {C1}};
        QCOMPARE(acc00420::accountMethods().size(), qsizetype(std::size(samples)));
        int i = 0;
        for (const fw::MethodSpec &method : acc00420::accountMethods()) {
            Caller nobody;
            QCOMPARE(server.ledger(nobody, method.name, samples[i++]).message,
                     QStringLiteral("unauthenticated: Entre com operador e senha."));
        }
    }

    // Each method needs its right, and acts only under the session's own operator, at its
    // branch, on a client served there.
    void rightsAndTheSessionsOwnOperatorAndBranch_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QCborArray>("args");
        QTest::addColumn<QString>("refusal");
        const QString cannot = "Operador 0012 não tem permissão para %1.";
        LedgerBackend::addRows([&](const QString &kind) {
            auto row = [&](const char *name, const char *code) {
                return &(QTest::newRow(qPrintable(kind + ": " + name)) << kind << QString(code));
            };
            *row("read", "0012") << "getMovCliente" << QCborArray{"", "T", C1, at(Noon)} << "";
            *row("post", "0012") << "SetMovCliente" << QCborArray{delta("insert", "0012")} << "";
            *row("edit the observation", "0012") << "SetMovCliente" << QCborArray{delta("observation")} << "";
            *row("cancel without the right", "0012") << "setCancelamento"
                                                     << QCborArray{"X", "0012", at(Noon), "t", C1, "0000000001"}
                                                     << cannot.arg("cancelar lançamentos");
            *row("cancel through a delta", "0012") << "SetMovCliente" << QCborArray{delta("cancel")}
                                                   << cannot.arg("cancelar lançamentos");
            *row("delete without the right", "0012") << "SetMovCliente" << QCborArray{delta("delete")}
                                                     << cannot.arg("excluir lançamentos");
            *row("cancel a sale without the right", "0012") << "setCancelaVenda"
                                                            << QCborArray{"t", "0001", "002", "0000000050"}
                                                            << cannot.arg("cancelar vendas e recebimentos");
            *row("cancel a receipt without the right", "0012") << "setCancelaReceb" << QCborArray{"0001", "002", "0000000050"}
                                                               << cannot.arg("cancelar vendas e recebimentos");
            *row("cancel with the right", "0007") << "setCancelamento"
                                                  << QCborArray{"X", "0007", at(Noon), "t", C1, "0000000001"} << "";
            *row("delete with the right", "0007") << "SetMovCliente" << QCborArray{delta("delete")} << "";
            *row("another operator's recalculation", "0007")
                << "setAtualizaCons" << QCborArray{"0001", C1, "", at(Noon), "0012"}
                << "O pedido é do operador 0012, mas a sessão é do operador 0007; entre como 0012 para fazê-lo.";
            *row("a movement under another operator", "0007")
                << "SetMovCliente" << QCborArray{delta("insert", "0012")}
                << "O pedido é do operador 0012, mas a sessão é do operador 0007; entre como 0012 para fazê-lo.";
            *row("another branch's consumers", "0007")
                << "getConsumidor" << QCborArray{C1, "", "T", "0002"}
                << "O pedido é da filial 0002, mas a sessão é da filial 0001; entre na filial 0002 para fazê-lo.";
            *row("a client of another branch", "0007") << "getMovCliente" << QCborArray{"", "T", C2, at(Noon)}
                                                       << "O cliente " + C2 + " não é atendido na filial 0001.";
            *row("a number for a client of another branch", "0007") << "getPrxMovClie" << QCborArray{C2}
                                                                    << "O cliente " + C2 + " não é atendido na filial 0001.";
            const QString unregistered = QString(20, u'0') + u'9';
            *row("a number for an unregistered client", "0007") << "getPrxMovClie" << QCborArray{unregistered}
                                                                << "bad-arguments: cliente " + unregistered + " não cadastrado";
        });
    }
    void rightsAndTheSessionsOwnOperatorAndBranch()
    {
        QFETCH(QString, backend);
        QFETCH(QString, code);
        QFETCH(QString, method);
        QFETCH(QCborArray, args);
        QFETCH(QString, refusal);
        LedgerBackend b(backend);
        seed(b);
        Instance server(b.storage().url());
        Caller caller;
        QVERIFY(server.signIn(caller, code, "demo" + code).ok);
        server.ledger(caller, "getPrxMovClie", {C1}); // the number the new movement takes
        const Reply r = server.ledger(caller, method, args);
        QCOMPARE(r.message, refusal);
        QCOMPARE(r.ok, refusal.isEmpty());
    }

    // The session names who changed what and from where; a cancellation's moment is the
    // server's, whatever the request says.
    void theHistoryNamesTheSession_data() { backends(); }
    void theHistoryNamesTheSession()
    {
        QFETCH(QString, backend);
        LedgerBackend b(backend);
        seed(b);
        Instance server(b.storage().url());
        Caller caller;
        QVERIFY(server.signIn(caller, "0007", "demo0007").ok);
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(server.ledger(caller, "setCancelamento", {"X", "0012", at(Noon.addYears(-3)), "t", C1, "0000000001"}).ok
                == false); // another operator's code is refused
        QVERIFY(server.ledger(caller, "setCancelamento", {"X", "0007", at(Noon.addYears(-3)), "t", C1, "0000000001"}).ok);
        QSqlQuery cancelled = server::run(b.db(), "SELECT DTATUMOVCLIE FROM MOVICLIE WHERE CDCLIENTE = ?", {C1});
        QVERIFY(cancelled.next() && cancelled.value(0).toLongLong() >= before);
        cancelled.finish();
        QVERIFY(server.ledger(caller, "setCancelaVenda", {"t", "0001", "002", "0000000050"}).ok);
        QVERIFY(server.ledger(caller, "SetMovCliente", {delta("delete", "0012")}).ok);
        QSqlQuery q = server::run(b.db(), "SELECT (SELECT COUNT(*) FROM HISTMOVCLIE WHERE CDOPERADOR = '0007' AND CDTERMINAL = 'caixa-3'),"
                                          " (SELECT COUNT(*) FROM HISTCONTA WHERE CDOPERADOR = '0007' AND CDTERMINAL = 'caixa-3')");
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 2); // the cancellation and the delete
        QCOMPARE(q.value(1).toInt(), 1); // the sale
    }

    // The server's log: a line per request naming its connection, operator (once signed in),
    // method, time and outcome, and never what the request carried.
    void theLogNamesEachRequestAndNothingItCarried()
    {
        LedgerBackend b("sqlite");
        seed(b);
        ServerProcess server(ACC00420_SERVER_PATH, b.storage().url());
        QVERIFY2(server.start(), qPrintable(server.output()));
        const QString account = QLatin1String(acc00420::AccountObjectName), observation = "Troco devolvido ao portador 4471";
        QString token;
        {
            // A balancer's health check: it connects and leaves, and is not logged at info.
            QTcpSocket check;
            check.connectToHost(QHostAddress::LocalHost, server.port());
            QVERIFY(check.waitForConnected(5000));
            check.disconnectFromHost();
            fw::TNetConnection connection;
            connection.setServerName(account);
            connection.setPort(server.port());
            QVERIFY_THROWS_EXCEPTION(fw::ServerCallError, connection.call("getMovCliente", {"", "T", C1, at(Noon)}));
            token = connection.call(fw::SessionObjectName, "entrar", {"0012", "demo0012", "0001", "caixa-3"})
                        .toValue().toMap().value(QLatin1String("payload")).toMap().value(QLatin1String("token")).toString();
            QVERIFY(!token.isEmpty());
            connection.call("getPrxMovClie", {C1});
            connection.call("SetMovCliente", {delta("insert", "0012", observation)});
            connection.call("setCancelamento", {"X", "0012", at(Noon), "t", C1, "0000000001"}); // 0012 may not cancel
            connection.call("getMovCliente", {"", "T", C1, at(Noon)});
        }
        // The log's info lines, their time checked and left out, and what varies (a port, a duration) as N.
        const auto infoLines = [&] {
            const QRegularExpression line(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(?:[+-]\d\d:\d\d|Z) info (.*)$)",
                                          QRegularExpression::MultilineOption);
            QStringList found;
            for (auto m = line.globalMatch(server.output()); m.hasNext();)
                found << m.next().captured(1).replace(QRegularExpression(R"((ms=|127\.0\.0\.1:)\d+)"), "\\1N");
            return found;
        };
        QTRY_COMPARE(infoLines().size(), 8);
        const QString request = "conn=2 op=%1 method=%2 ms=N outcome=%3";
        QCOMPARE(infoLines(), (QStringList{"conn=2 open peer=127.0.0.1:N",
                                           request.arg("-", account + ".getMovCliente", "unauthenticated"),
                                           request.arg("0012", "Acc00420.Sessao.entrar", "ok"),
                                           request.arg("0012", account + ".getPrxMovClie", "ok"),
                                           request.arg("0012", account + ".SetMovCliente", "ok"),
                                           request.arg("0012", account + ".setCancelamento", "refused"),
                                           request.arg("0012", account + ".getMovCliente", "ok"),
                                           "conn=2 close reason=client"}));
        for (const QString &secret : {QString("demo0012"), token, observation})
            QVERIFY2(!server.output().contains(secret), qPrintable(secret));

        // At level error the requests go unlogged: the second reply comes after the first's line.
        ServerProcess quiet(ACC00420_SERVER_PATH, b.storage().url(), {"--log-level=error"});
        QVERIFY2(quiet.start(), qPrintable(quiet.output()));
        fw::TNetConnection connection;
        connection.setServerName(account);
        connection.setPort(quiet.port());
        for (int i = 0; i < 2; ++i)
            QVERIFY_THROWS_EXCEPTION(fw::ServerCallError, connection.call("getPrxMovClie", {C1}));
        QVERIFY2(!quiet.output().contains(QLatin1String(" info ")), qPrintable(quiet.output()));
    }

    // The administration commands: bad input says what is wrong and changes nothing.
    void operatorCommands_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        const QStringList add{"operator", "add", "0040", "--name=Nova Caixa", "--branches=0001"};
        QTest::newRow("add") << add + QStringList{"--rights=consultar,lancar"} << QByteArray("segredo-40\n") << 0
                             << "0040\tNova Caixa\tativo\tfiliais=0001\tpermissoes=consultar,lancar";
        QTest::newRow("unknown right") << add + QStringList{"--rights=consultar,voar"} << QByteArray("segredo-40\n") << 1
                                       << "permissão \"voar\" desconhecida";
        QTest::newRow("short password") << add + QStringList{"--rights=consultar"} << QByteArray("curta\n") << 1
                                        << "a senha deve ter de 8 a 128 caracteres";
        QTest::newRow("unknown branch") << QStringList{"operator", "add", "0040", "--name=X", "--branches=0009", "--rights=lancar"}
                                        << QByteArray("segredo-40\n") << 1 << "filial \"0009\" não cadastrada";
        QTest::newRow("existing code") << add + QStringList{"--rights=lancar"} << QByteArray("segredo-40\n") << 1
                                       << "o operador 0040 já existe";
        QTest::newRow("password of nobody") << QStringList{"operator", "passwd", "0099"} << QByteArray("segredo-99\n") << 1
                                            << "operador 0099 não cadastrado";
        QTest::newRow("no such command") << QStringList{"operator", "remove", "0012"} << QByteArray() << 2 << "operator list";
    }
    void operatorCommands()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(int, status);
        QFETCH(QString, says);
        LedgerBackend b("sqlite");
        seed(b);
        auto runServer = [&](const QStringList &words, const QByteArray &stdinText) {
            const CommandRun run = runServerCommand(ACC00420_SERVER_PATH, b.storage().url(), words, stdinText);
            return std::pair{run.status, run.out + run.err};
        };
        if (QTest::currentDataTag() == QByteArray("existing code"))
            runServer(args, input);
        const auto before = runServer({"operator", "list"}, {});
        const auto [exitCode, output] = runServer(args, input);
        QCOMPARE(exitCode, status);
        const auto after = runServer({"operator", "list"}, {});
        QVERIFY2((output + after.second).contains(says), qPrintable(output + after.second));
        if (status != 0)
            QCOMPARE(after.second, before.second);
        QVERIFY(!after.second.contains("$argon2id$")); // hashes are never shown
    }
};

QTEST_GUILESS_MAIN(TestSessions)
#include "tst_sessions.moc"
