#include <framework/core/abort.h>
#include "accountservice.h"
#include <framework/data/checkresultserv.h>
#include "fakeappserver.h"
#include <framework/data/frame.h>
#include <framework/ui/handlerguard.h>
#include <framework/core/logincontext.h>
#include <framework/data/netconnection.h>
#include "recordingdialogs.h"
#include <framework/data/recordset.h>

#include <QTest>

using namespace fw;
using acc00420::AccountService;

namespace {

// A connection configured as the screen configures its own: host and port read from the
// logged-in context before every connect, connection errors not raised on open.
struct Client
{
    TNetConnection connection;
    int connects = 0;

    explicit Client(quint16 port, int timeoutMs = 5000)
    {
        LoginContext context = loginContext();
        context.webUrl = "127.0.0.1";
        context.webPort = port;
        setLoginContext(context);
        connection.setServerName(AccountService::ObjectName);
        connection.setThrowException(false);
        connection.setTimeoutMs(timeoutMs);
        connection.onBeforeConnect = [this](TNetConnection &c) {
            ++connects;
            c.setHost(WebURL());
            c.setPort(WebPort());
        };
    }
};

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort(); // closed when probe goes
}

} // namespace

class TestNetConnection : public QObject
{
    Q_OBJECT
private slots:
    void argumentsInOrderAndTypes()
    {
        FakeAppServer server;
        server.answerBare("getPrxMovClie", 17);
        Client client(server.port());
        AccountService service(client.connection);
        const QDateTime start(QDate(2026, 10, 8), QTime(0, 0));
        QString consumer = QString(19, u'0') + "42";
        QString all;
        service.setAtualizaCons("0001", "CLI", consumer, start, "0007");
        service.getMovCliente(consumer, all, "CLI", start);
        service.getConsumidor("CLI", "", "T", "0001");
        QCOMPARE(acc00420::movementNumberText(service.getPrxMovClie("CLI")), QStringLiteral("17"));
        service.SetMovCliente(QCborMap{{QLatin1String("changes"), QCborArray{}}});
        service.setCancelamento("X", "0007", start, "Cancelado pelo operador.", "CLI", "0000000003");
        service.setCancelaVenda("texto", "0001", "002", "0000000009");
        service.setCancelaReceb("0001", "002", "0000000009");

        QCOMPARE(server.methods(), (QStringList{"setAtualizaCons", "getMovCliente", "getConsumidor",
                                                "getPrxMovClie", "SetMovCliente", "setCancelamento",
                                                "setCancelaVenda", "setCancelaReceb"}));
        for (const auto &call : std::as_const(server.calls))
            QCOMPARE(call.object, QStringLiteral("Acc00420.rdmPagClie"));
        const QCborArray atualiza = server.calls[0].args;
        QCOMPARE(atualiza.size(), 5);
        QCOMPARE(atualiza[0].toString(), QStringLiteral("0001"));
        QCOMPARE(atualiza[2].toString(), consumer);
        QVERIFY(atualiza[3].isDateTime());
        QCOMPARE(atualiza[3].taggedValue().toString(), QStringLiteral("2026-10-08T00:00:00.000-03:00"));
        QCOMPARE(atualiza[4].toString(), QStringLiteral("0007"));
        const QCborArray mov = server.calls[1].args;
        QCOMPARE(mov.size(), 4);
        QCOMPARE(mov[0].toString(), consumer);
        QVERIFY(mov[1].isString());
        QCOMPARE(mov[1].toString(), QString());
        QCOMPARE(mov[2].toString(), QStringLiteral("CLI"));
        QVERIFY(mov[3].isDateTime());
        QVERIFY(server.calls[4].args[0].isMap());
        QCOMPARE(server.calls[5].args.size(), 6);
        QCOMPARE(server.calls[5].args[5].toString(), QStringLiteral("0000000003"));
        QCOMPARE(server.calls[7].args.size(), 3);
        QCOMPARE(client.connects, 1); // one connection serves every call
    }

    void envelope_data()
    {
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("report");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("ok") << true << true << QStringList{};
        QTest::newRow("failed, reported") << false << true << QStringList{"Cliente bloqueado."};
        QTest::newRow("failed, quiet") << false << false << QStringList{};
    }
    void envelope()
    {
        QFETCH(bool, ok);
        QFETCH(bool, report);
        QFETCH(QStringList, shown);
        RecordingDialogs dialogs;
        FakeAppServer server;
        if (ok)
            server.answerOk("setAtualizaCons", true);
        else
            server.answerFailure("setAtualizaCons", "Cliente bloqueado.");
        Client client(server.port());
        AccountService service(client.connection);
        if (ok) {
            const CborItem payload = CheckResultServ(
                service.setAtualizaCons("0001", "C", "", QDateTime::currentDateTime(), "1"), report, 0);
            QCOMPARE(payload.toValue(), QCborValue(true));
        } else {
            QVERIFY_THROWS_EXCEPTION(Abort, CheckResultServ(service.setAtualizaCons("0001", "C", "", QDateTime::currentDateTime(), "1"), report, 0));
        }
        QCOMPARE(dialogs.texts(), shown);
    }

    void malformedEnvelopeIsReportedAndAborts_data()
    {
        QTest::addColumn<QCborValue>("result");
        QTest::newRow("not a map") << QCborValue(true);
        QTest::newRow("no ok") << QCborValue(QCborMap{{QLatin1String("payload"), 1}});
        QTest::newRow("ok not a flag") << QCborValue(QCborMap{{QLatin1String("ok"), "yes"}});
    }
    void malformedEnvelopeIsReportedAndAborts()
    {
        QFETCH(QCborValue, result);
        RecordingDialogs dialogs;
        QVERIFY_THROWS_EXCEPTION(Abort, CheckResultServ(CborItem::fromValue(result), true, 0));
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY(dialogs.shown.front().text.contains("resposta inválida"));
    }

    void payloadPacketOutlivesTheResult()
    {
        QByteArray packet;
        {
            DataPacketWriter writer(&packet, {{"CDCONSUMIDOR", FieldType::String, 21}}, 2);
            for (const char *code : {"000000000000000000001", "000000000000000000002"}) {
                writer.beginRow();
                writer.writeString(QString::fromLatin1(code));
            }
            writer.finish();
        }
        FakeAppServer server;
        server.answerOkPacket("getConsumidor", packet);
        Client client(server.port());
        AccountService service(client.connection);
        const CborItem payload = CheckResultServ(service.getConsumidor("C", "", "T", "0001"), true, 0);
        RecordSet consumers;
        consumers.loadFromPacket(payload.bytes());
        QCOMPARE(consumers.recordCount(), 2);
        consumers.last();
        QCOMPARE(consumers.fieldByName("CDCONSUMIDOR").asString(), QStringLiteral("000000000000000000002"));
    }

    void refusedConnection()
    {
        const quint16 port = closedPort();
        Client client(port);
        QVERIFY(!client.connection.open()); // ThrowException false: nothing raised
        QVERIFY(!client.connection.lastError().isEmpty());
        AccountService service(client.connection);
        // Said for the operator, with what to do; the call and the system's text in the details.
        RecordingDialogs dialogs;
        QVERIFY(!fw::guarded([&] { service.getPrxMovClie("C"); }));
        QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("Servidor de aplicação indisponível em 127.0.0.1:%1. "
                                                             "Verifique se ele está em execução e tente de novo.")
                                                  .arg(port)});
        QVERIFY(dialogs.shown[0].details.startsWith(
            QStringLiteral("getPrxMovClie em 127.0.0.1:%1: não foi possível conectar (").arg(port)));
        QCOMPARE(client.connects, 2);

        client.connection.setThrowException(true);
        QVERIFY_THROWS_EXCEPTION(ServerCallError, client.connection.open());
    }

    void serverThatNeverAnswersTimesOut()
    {
        FakeAppServer server;
        server.neverAnswer("getMovCliente");
        server.answerBare("getPrxMovClie", 5);
        Client client(server.port(), 300);
        AccountService service(client.connection);
        QString consumer, all = "T";
        try {
            service.getMovCliente(consumer, all, "C", QDateTime::currentDateTime());
            QFAIL("a call without a reply must fail");
        } catch (const ServerCallError &e) {
            QVERIFY(QString::fromUtf8(e.what()).contains("não respondeu"));
            QVERIFY(e.details().startsWith("getMovCliente em 127.0.0.1:"));
            QVERIFY(e.details().contains("sem resposta"));
        }
        QVERIFY(!client.connection.connected());
        // The next call reconnects and is served.
        QCOMPARE(acc00420::movementNumberText(service.getPrxMovClie("C")), QStringLiteral("5"));
        QCOMPARE(client.connects, 2);
    }

    void frameOverTheCapFails()
    {
        FakeAppServer server;
        server.answerRaw("getPrxMovClie", frameHeader(4096) + QByteArray(64, 'x'));
        Client client(server.port());
        client.connection.setMaxFrameBytes(1024);
        AccountService service(client.connection);
        try {
            service.getPrxMovClie("C");
            QFAIL("an over-sized reply must fail");
        } catch (const ServerCallError &e) {
            QVERIFY(QString::fromUtf8(e.what()).contains("excede o limite"));
        }
        QVERIFY(!client.connection.connected());
    }

    void brokenReplyFails_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("not cbor") << encodeFrame(QByteArray::fromHex("ffff"));
        QTest::newRow("no id") << encodeFrame(QCborValue(QCborMap{{QLatin1String("result"), 1}}).toCbor());
    }
    void brokenReplyFails()
    {
        QFETCH(QByteArray, bytes);
        FakeAppServer server;
        server.answerRaw("getPrxMovClie", bytes);
        Client client(server.port());
        AccountService service(client.connection);
        QVERIFY_THROWS_EXCEPTION(ServerCallError, service.getPrxMovClie("C"));
    }

    void errorReplyFailsWithTheServersMessage()
    {
        FakeAppServer server;
        server.answer("getPrxMovClie", [](const Request &r) {
            return encodeErrorReply(r.id, "bad-argument", "argumento 1 (CDCLIENTE) excede 21 caracteres");
        });
        Client client(server.port());
        AccountService service(client.connection);
        try {
            service.getPrxMovClie("C");
            QFAIL("an error reply must fail the call");
        } catch (const ServerCallError &e) {
            QVERIFY(QString::fromUtf8(e.what()).contains("CDCLIENTE"));
            QVERIFY(QString::fromUtf8(e.what()).endsWith(u'.'));
            QVERIFY(e.details().endsWith("bad-argument"));
        }
        QVERIFY(client.connection.connected()); // the stream is still sound
    }

    void newHostOrPortTakesEffectAtNextConnect()
    {
        FakeAppServer first;
        FakeAppServer second;
        Client client(first.port());
        AccountService service(client.connection);
        service.getPrxMovClie("C");
        LoginContext context = loginContext();
        context.webPort = second.port();
        setLoginContext(context);
        service.getPrxMovClie("C"); // still connected to the first
        client.connection.close();
        service.getPrxMovClie("C");
        QCOMPARE(first.calls.size(), 2);
        QCOMPARE(second.calls.size(), 1);
        QCOMPARE(client.connects, 2);
    }

    // Events come however they fall beside a reply, and never while a call waits: the handler
    // of one may call the server at once.
    void eventsComeOutsideCalls_data()
    {
        QTest::addColumn<QByteArrayList>("before"); // event names sent before the reply
        QTest::addColumn<QByteArrayList>("after");  // and in the same write after it
        QTest::addColumn<bool>("split");            // the bytes sent one at a time
        QTest::newRow("before the reply") << QByteArrayList{"a"} << QByteArrayList{} << false;
        QTest::newRow("after the reply") << QByteArrayList{} << QByteArrayList{"a", "b"} << false;
        QTest::newRow("around it, a byte at a time") << QByteArrayList{"a"} << QByteArrayList{"b"} << true;
    }
    void eventsComeOutsideCalls()
    {
        QFETCH(QByteArrayList, before);
        QFETCH(QByteArrayList, after);
        QFETCH(bool, split);
        const auto events = [](const QByteArrayList &names) {
            QByteArray bytes;
            for (const QByteArray &name : names)
                bytes += encodeFrame(encodeEvent(QString::fromLatin1(name), {{QLatin1String("versao"), 1}}));
            return bytes;
        };
        FakeAppServer server;
        server.answer("getPrxMovClie", [&](const Request &r) -> std::optional<QByteArray> {
            const QByteArray bytes = events(before) + encodeFrame(encodeReply(r.id, QCborValue(17).toCbor())) + events(after);
            if (!split)
                server.push(bytes);
            for (qsizetype i = 0; split && i < bytes.size(); ++i)
                server.push(bytes.sliced(i, 1));
            return std::nullopt;
        });
        server.answerBare("verificaHistorico", 1);
        Client client(server.port());
        AccountService service(client.connection);
        QStringList got;
        QObject::connect(&client.connection, &TNetConnection::serverEvent, [&](const QString &name, const QCborMap &) {
            got.append(name);
            service.verificaHistorico("C"); // a call from the handler: no call is waiting
        });
        QCOMPARE(service.getPrxMovClie("C").toValue().toInteger(), 17);
        QVERIFY(got.isEmpty()); // not inside the call
        QTRY_COMPARE(got.size(), before.size() + after.size());
        QCOMPARE(server.methods().count(QStringLiteral("verificaHistorico")), got.size());
        // And one that comes while nothing is asked.
        server.push(events({"idle"}));
        QTRY_COMPARE(got.last(), QStringLiteral("idle"));
        QVERIFY(client.connection.connected());
    }

    // A connection lost comes back by itself when asked to, the session resumed first.
    void opensInBackground()
    {
        FakeAppServer server;
        Client client(server.port());
        int opened = 0;
        QObject::connect(&client.connection, &TNetConnection::opened, [&] { ++opened; });
        client.connection.openInBackground();
        QVERIFY(!client.connection.connected()); // it returned before connecting
        QTRY_COMPARE(opened, 1);
        QVERIFY(client.connection.connected());
        client.connection.openInBackground(); // connected: nothing to do
        QTest::qWait(50);
        QCOMPARE(opened, 1);

        server.close();
        client.connection.close();
        client.connection.openInBackground();
        QTRY_VERIFY(client.connects == 2 && !client.connection.connected());
        QTest::qWait(50);
        QCOMPARE(opened, 1); // a server that is gone opens nothing
    }

    // The window repaints after a part; a reply that comes in just then is the reply, however
    // the repaint and its arrival fall in the turn of the event loop.
    void replyComingAsAPartRepaintsIsTaken()
    {
        FakeAppServer server;
        quint64 id = 0;
        server.answer("getMovCliente", [&](const Request &r) -> std::optional<QByteArray> {
            id = r.id;
            server.push(encodeFrame(encodeReplyPart(r.id, 1, QByteArray("\xf6", 1))));
            return std::nullopt;
        });
        Client client(server.port());
        int parts = 0;
        const CborItem result = client.connection.call(QStringLiteral("getMovCliente"), {}, [&](const CborItem &, std::optional<quint64>) {
            ++parts;
            server.push(encodeFrame(encodeReply(id, QCborValue(17).toCbor())));
        });
        QCOMPARE(parts, 1);
        QCOMPARE(result.toValue().toInteger(), 17);
        QVERIFY(client.connection.connected());
    }

    void serverDroppingTheConnectionFails()
    {
        FakeAppServer server;
        server.dropOn("getPrxMovClie");
        Client client(server.port());
        AccountService service(client.connection);
        try {
            service.getPrxMovClie("C");
            QFAIL("a dropped connection must fail the call");
        } catch (const ServerCallError &e) {
            QVERIFY(QString::fromUtf8(e.what()).contains("caiu antes da resposta"));
            QVERIFY(e.details().contains("encerrada"));
        }
    }
};

QTEST_GUILESS_MAIN(TestNetConnection)
#include "tst_netconnection.moc"
