#include "appserver.h"
#include "testtls.h"
#include <framework/data/netconnection.h>
#include <framework/data/protocol.h>

#include <QCborMap>
#include <QTcpSocket>
#include <QCborStreamWriter>
#include <QTest>
#include <QThread>

using namespace server;

namespace {

const QString object = QStringLiteral("Acc00420.rdmPagClie");

Dispatcher makeDispatcher()
{
    Dispatcher d;
    d.add(object, "echo",
          {{"CODE", ArgSpec::Type::Text, 5}, {"WHEN", ArgSpec::Type::DateTime}, {"DELTA", ArgSpec::Type::Map}},
          [](const QCborArray &args, server::Caller &) {
              return Outcome::ok(fw::encodeEnvelope(true, {}, args.at(0)));
          });
    d.add(object, "slow", {}, [](const QCborArray &, server::Caller &) {
        QThread::msleep(1500);
        return Outcome::ok(QCborValue(true).toCbor());
    });
    d.add(object, "signIn", {}, [](const QCborArray &, server::Caller &caller) {
        caller.tokenHash = QStringLiteral("signed");
        return Outcome::ok(fw::encodeEnvelope(true, {}, QCborValue()));
    });
    d.add(object, "broken", {}, [](const QCborArray &, server::Caller &) -> Outcome {
        throw std::runtime_error("banco indisponível");
    });
    return d;
}

// The server over the test dispatcher, listening on an ephemeral loopback port.
struct ServerOnLoopback
{
    Dispatcher dispatcher = makeDispatcher();
    AppServer server;
    QString error; // why it does not listen
    bool listening;
    explicit ServerOnLoopback(AppServer::Options options = {})
        : server(dispatcher, options)
        , listening(server.listen(&error))
    {
    }
};

struct Client
{
    fw::TNetConnection connection;
    explicit Client(quint16 port)
    {
        connection.setServerName(object);
        connection.setHost("127.0.0.1");
        connection.setPort(port);
        connection.setTimeoutMs(5000);
    }
    QString errorOf(const QString &method, const QCborArray &args)
    {
        try {
            connection.call(method, args);
        } catch (const fw::ServerCallError &e) {
            return QString::fromUtf8(e.what()) + u' ' + e.details(); // the error code is in the details
        }
        return {};
    }
};

// A client writing raw bytes, for what a well-behaved connection never sends.
bool connectRaw(QTcpSocket &socket, quint16 port)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; });
}

QCborArray goodArgs()
{
    return {"12345", fw::dateTimeToCbor(QDateTime::currentDateTime()), QCborMap()};
}

} // namespace

class TestAppServer : public QObject
{
    Q_OBJECT
private slots:
    void badRequestsGetAClearErrorAndTheConnectionGoesOn_data()
    {
        QTest::addColumn<QString>("objectName");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QCborArray>("args");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown object") << "Outro.obj" << "echo" << goodArgs() << "unknown-object";
        QTest::newRow("unknown method") << object << "apaga" << goodArgs() << "unknown-method";
        QTest::newRow("too few arguments") << object << "echo" << QCborArray{"1"} << "recebe 3 argumentos";
        QTest::newRow("text where a date goes")
            << object << "echo" << QCborArray{"1", "2026-01-01", QCborMap()} << "argumento 2 (WHEN)";
        QTest::newRow("number where a text goes")
            << object << "echo" << QCborArray{1, goodArgs()[1], QCborMap()} << "deve ser texto";
        QTest::newRow("over-long text")
            << object << "echo" << QCborArray{"123456", goodArgs()[1], QCborMap()} << "excede 5 caracteres";
        QTest::newRow("handler failure") << object << "broken" << QCborArray{} << "banco indisponível";
    }
    void badRequestsGetAClearErrorAndTheConnectionGoesOn()
    {
        QFETCH(QString, objectName);
        QFETCH(QString, method);
        QFETCH(QCborArray, args);
        QFETCH(QString, error);
        ServerOnLoopback loopback;
        QVERIFY2(loopback.listening, qPrintable(loopback.error));
        AppServer &server = loopback.server;
        Client client(server.port());
        client.connection.setServerName(objectName);
        const QString message = client.errorOf(method, args);
        QVERIFY2(message.contains(error), qPrintable(message));
        client.connection.setServerName(object);
        QCOMPARE(client.errorOf("echo", goodArgs()), QString());
        QVERIFY(client.connection.connected());
    }

    void malformedFrameIsAnsweredAndServingGoesOn()
    {
        ServerOnLoopback loopback;
        QVERIFY2(loopback.listening, qPrintable(loopback.error));
        AppServer &server = loopback.server;
        QTcpSocket raw;
        QVERIFY(connectRaw(raw, server.port()));
        raw.write(fw::encodeFrame(QByteArray::fromHex("a1ff")));
        QTRY_VERIFY(raw.bytesAvailable() > 4);
        const fw::Reply reply = fw::decodeReply(raw.readAll().mid(4));
        QCOMPARE(reply.error->code, QStringLiteral("malformed-request"));
        Client client(server.port());
        QCOMPARE(client.errorOf("echo", goodArgs()), QString());
    }

    void argumentsAreCountedBeforeTheyAreDecoded_data()
    {
        QTest::addColumn<QByteArray>("argsArray"); // the encoded "args" value, its elements absent
        QTest::newRow("twenty million announced") << QByteArray::fromHex("9a01312d00");
        QTest::newRow("65 in an array of unknown length") << QByteArray::fromHex("9f") + QByteArray(65, '\x01') + "\xff";
    }
    void argumentsAreCountedBeforeTheyAreDecoded()
    {
        QFETCH(QByteArray, argsArray);
        ServerOnLoopback loopback;
        QVERIFY2(loopback.listening, qPrintable(loopback.error));
        AppServer &server = loopback.server;
        QTcpSocket raw;
        QVERIFY(connectRaw(raw, server.port()));
        QByteArray request;
        QCborStreamWriter writer(&request);
        writer.startMap(4);
        writer.append(QLatin1String("id"));
        writer.append(quint64(7));
        writer.append(QLatin1String("object"));
        writer.append(object);
        writer.append(QLatin1String("method"));
        writer.append(QLatin1String("echo"));
        writer.append(QLatin1String("args"));
        raw.write(fw::encodeFrame(request + argsArray));
        QTRY_VERIFY(raw.bytesAvailable() > 4);
        const fw::Reply reply = fw::decodeReply(raw.readAll().mid(4));
        QCOMPARE(reply.id, quint64(7));
        QCOMPARE(reply.error->code, QStringLiteral("malformed-request"));
        QVERIFY2(reply.error->message.contains(QStringLiteral("nenhum método recebe mais de 64")), qPrintable(reply.error->message));
        QCOMPARE(raw.state(), QAbstractSocket::ConnectedState);
    }

    void connectionsOverTheLimitsAreToldAndClosed_data()
    {
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("perPeer");
        QTest::addColumn<QString>("why");
        QTest::newRow("in all") << 2 << 10 << "limite de 2 conexões";
        QTest::newRow("from one address") << 10 << 2 << "o endereço 127.0.0.1 atingiu o limite de 2 conexões";
    }
    void connectionsOverTheLimitsAreToldAndClosed()
    {
        QFETCH(int, total);
        QFETCH(int, perPeer);
        QFETCH(QString, why);
        AppServer::Options options;
        options.maxConnections = total;
        options.maxConnectionsPerPeer = perPeer;
        ServerOnLoopback loopback(options);
        QVERIFY2(loopback.listening, qPrintable(loopback.error));
        AppServer &server = loopback.server;
        auto first = std::make_unique<Client>(server.port());
        Client second(server.port());
        QCOMPARE(first->errorOf("echo", goodArgs()), QString());
        QCOMPARE(second.errorOf("echo", goodArgs()), QString());
        QTcpSocket third;
        QVERIFY(connectRaw(third, server.port()));
        QTRY_VERIFY(third.bytesAvailable() > 4);
        const fw::Reply reply = fw::decodeReply(third.readAll().mid(4));
        QCOMPARE(reply.error->code, QStringLiteral("too-many-connections"));
        QVERIFY2(reply.error->message.contains(why), qPrintable(reply.error->message));
        QTRY_COMPARE(third.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(second.errorOf("echo", goodArgs()), QString()); // the others go on
        first.reset(); // one goes: room for another
        QTRY_COMPARE(server.sessionCount(), 1);
        Client fourth(server.port());
        QCOMPARE(fourth.errorOf("echo", goodArgs()), QString());
    }

    void unfinishedFramesAreBoundedForAllConnectionsTogether()
    {
        AppServer::Options options;
        options.maxHeldBytes = 4 * 1024 * 1024;
        ServerOnLoopback loopback(options);
        QVERIFY2(loopback.listening, qPrintable(loopback.error));
        AppServer &server = loopback.server;
        // Three clients each start a 48 MiB frame and feed it a megabyte at a time.
        std::vector<std::unique_ptr<QTcpSocket>> attackers;
        for (int i = 0; i < 3; ++i) {
            attackers.push_back(std::make_unique<QTcpSocket>());
            QVERIFY(connectRaw(*attackers.back(), server.port()));
            attackers.back()->write(fw::frameHeader(48 * 1024 * 1024));
        }
        const QByteArray megabyte(1024 * 1024, 'x');
        for (int round = 0; round < 8; ++round) {
            for (auto &a : attackers) {
                if (a->state() == QAbstractSocket::ConnectedState)
                    a->write(megabyte);
            }
            QTRY_VERIFY(std::all_of(attackers.cbegin(), attackers.cend(), [](const auto &a) {
                return a->bytesToWrite() == 0 || a->state() != QAbstractSocket::ConnectedState;
            }));
            QVERIFY(server.queuedBytes() <= options.maxHeldBytes);
        }
        // The largest were dropped, each told why; a small request of another goes through.
        QTRY_VERIFY(std::any_of(attackers.cbegin(), attackers.cend(), [](const auto &a) {
            return a->state() == QAbstractSocket::UnconnectedState;
        }));
        for (auto &a : attackers) {
            if (a->bytesAvailable() > 4)
                QCOMPARE(fw::decodeReply(a->readAll().mid(4)).error->code, QStringLiteral("server-busy"));
        }
        Client honest(server.port());
        QCOMPARE(honest.errorOf("echo", goodArgs()), QString());
    }

    void frameOverTheLimitClosesOnlyThatConnection()
    {
        AppServer::Options options;
        options.maxFrameBytes = 1024;
        ServerOnLoopback loopback(options);
        QVERIFY2(loopback.listening, qPrintable(loopback.error));
        AppServer &server = loopback.server;
        Client other(server.port());
        QCOMPARE(other.errorOf("echo", goodArgs()), QString());
        QTcpSocket raw;
        QVERIFY(connectRaw(raw, server.port()));
        raw.write(fw::frameHeader(1 << 20));
        QTRY_VERIFY(raw.state() == QAbstractSocket::UnconnectedState);
        const fw::Reply reply = fw::decodeReply(raw.readAll().mid(4));
        QCOMPARE(reply.error->code, QStringLiteral("frame-too-large"));
        QCOMPARE(other.errorOf("echo", goodArgs()), QString());
    }

    void silentClientIsDroppedOthersServed()
    {
        AppServer::Options options;
        options.idleTimeoutMs = 200;
        ServerOnLoopback loopback(options);
        QVERIFY2(loopback.listening, qPrintable(loopback.error));
        AppServer &server = loopback.server;
        QTcpSocket silent;
        QVERIFY(connectRaw(silent, server.port()));
        Client busy(server.port());
        QCOMPARE(busy.errorOf("echo", goodArgs()), QString());
        QTRY_VERIFY_WITH_TIMEOUT(silent.state() == QAbstractSocket::UnconnectedState, 5000);
        QCOMPARE(busy.errorOf("echo", goodArgs()), QString()); // reconnects if it was idle too
    }

    // A connection that has not signed in by the deadline is told and closed, whether it said
    // nothing or made other calls.
    void aConnectionThatDoesNotSignInIsClosed()
    {
        AppServer::Options options;
        options.signInTimeoutMs = 300;
        ServerOnLoopback loopback(options);
        QVERIFY2(loopback.listening, qPrintable(loopback.error));
        QTcpSocket silent;
        QVERIFY(connectRaw(silent, loopback.server.port()));
        Client busy(loopback.server.port()), signedIn(loopback.server.port());
        QCOMPARE(signedIn.errorOf("signIn", {}), QString());
        QCOMPARE(busy.errorOf("echo", goodArgs()), QString());
        QTRY_VERIFY_WITH_TIMEOUT(!busy.connection.connected(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(silent.state() == QAbstractSocket::UnconnectedState, 5000);
        QVERIFY(silent.readAll().contains("unauthenticated"));
        QCOMPARE(signedIn.errorOf("echo", goodArgs()), QString());
        QVERIFY(signedIn.connection.connected());
    }

    // A TLS client verifies the server's certificate against what it trusts and for the host's
    // name, and says what is wrong when it does not hold (Qt's own words in the details); at a
    // plain port it is told the server does not speak TLS.
    void tlsCertificatesAreVerified_data()
    {
        QTest::addColumn<QString>("served"); // the server's certificate; empty: plain TCP
        QTest::addColumn<QString>("trusted");
        QTest::addColumn<QString>("said"); // empty: served
        QTest::newRow("trusted") << "server" << "ca.pem" << "";
        QTest::newRow("another authority") << "server" << "other-ca.pem" << "não é de uma autoridade em que este terminal confia";
        QTest::newRow("expired") << "expired" << "ca.pem" << "expirou em";
        QTest::newRow("another name") << "othername" << "ca.pem" << "é de outro nome (outro.exemplo)";
        QTest::newRow("plain port") << "" << "ca.pem" << "não atendeu em TLS";
    }
    void tlsCertificatesAreVerified()
    {
        QFETCH(QString, served);
        QFETCH(QString, trusted);
        QFETCH(QString, said);
        AppServer::Options options;
        if (!served.isEmpty())
            options.tls = testServerTls(served);
        ServerOnLoopback loopback(options);
        QVERIFY2(loopback.listening, qPrintable(loopback.error));
        Client client(loopback.server.port());
        client.connection.setTls(true, testAuthority(trusted));
        const QString message = client.errorOf("echo", goodArgs());
        QVERIFY2(said.isEmpty() ? message.isEmpty() : message.contains(said), qPrintable(message));
        QCOMPARE(client.connection.connected(), said.isEmpty());
    }

    // A client that speaks plain TCP to the TLS port, or stalls in the handshake, is dropped;
    // TLS clients go on being served.
    void plainOrStalledClientsAtTheTlsPortAreDropped()
    {
        AppServer::Options options;
        options.tls = testServerTls();
        options.handshakeTimeoutMs = 300;
        ServerOnLoopback loopback(options);
        QVERIFY2(loopback.listening, qPrintable(loopback.error));
        QTcpSocket plain, stalled;
        QVERIFY(connectRaw(plain, loopback.server.port()) && connectRaw(stalled, loopback.server.port()));
        plain.write(fw::encodeFrame(fw::encodeRequest({1, object, "echo", goodArgs()})));
        Client secure(loopback.server.port());
        secure.connection.setTls(true, testAuthority());
        QCOMPARE(secure.errorOf("echo", goodArgs()), QString());
        QTRY_VERIFY_WITH_TIMEOUT(plain.state() == QAbstractSocket::UnconnectedState, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(stalled.state() == QAbstractSocket::UnconnectedState, 5000);
        QCOMPARE(loopback.server.sessionCount(), 1);
        QCOMPARE(secure.errorOf("echo", goodArgs()), QString());
        QVERIFY(secure.connection.connected());
    }

    void aSlowRequestDoesNotHoldOthers()
    {
        ServerOnLoopback loopback;
        QVERIFY2(loopback.listening, qPrintable(loopback.error));
        AppServer &server = loopback.server;
        QTcpSocket slow;
        QVERIFY(connectRaw(slow, server.port()));
        slow.write(fw::encodeFrame(fw::encodeRequest({1, object, "slow", {}})));
        Client quick(server.port());
        QCOMPARE(quick.errorOf("echo", goodArgs()), QString());
        QCOMPARE(slow.bytesAvailable(), 0); // answered while the slow one still runs
        QTRY_VERIFY(slow.bytesAvailable() > 0);
    }

    // A client that pipelines without end while a slow request runs: the server holds no more
    // than its bounds (by count, by bytes), stops reading, and later answers every request,
    // in order.
    void pipelinedRequestsAreBounded_data()
    {
        QTest::addColumn<int>("maxRequests");
        QTest::addColumn<int>("maxBytes");
        QTest::addColumn<int>("padding");
        QTest::newRow("by count") << 4 << 64 * 1024 * 1024 << 0;
        QTest::newRow("by bytes") << 1000 << 256 * 1024 << 60 * 1024;
    }
    void pipelinedRequestsAreBounded()
    {
        QFETCH(int, maxRequests);
        QFETCH(int, maxBytes);
        QFETCH(int, padding);
        AppServer::Options options;
        options.maxQueuedRequests = maxRequests;
        options.maxQueuedBytes = maxBytes;
        ServerOnLoopback loopback(options);
        QVERIFY2(loopback.listening, qPrintable(loopback.error));
        AppServer &server = loopback.server;
        QTcpSocket client;
        QVERIFY(connectRaw(client, server.port()));
        client.write(fw::encodeFrame(fw::encodeRequest({1, object, "slow", {}})));
        const QCborArray args{"12345", fw::dateTimeToCbor(QDateTime::currentDateTime()),
                              QCborMap{{QStringLiteral("pad"), QString(padding, u'x')}}};
        constexpr int Pipelined = 200;
        for (quint64 id = 2; id < 2 + Pipelined; ++id)
            client.write(fw::encodeFrame(fw::encodeRequest({id, object, "echo", args})));
        int peakRequests = 0;
        qsizetype peakBytes = 0;
        QByteArray replies;
        fw::FrameReader reader;
        QList<quint64> answered;
        QVERIFY(QTest::qWaitFor([&] {
            peakRequests = std::max(peakRequests, server.queuedRequests());
            peakBytes = std::max(peakBytes, server.queuedBytes());
            reader.append(client.readAll());
            QByteArray frame;
            while (reader.next(&frame) == fw::FrameReader::Status::Frame) {
                const fw::Reply reply = fw::decodeReply(frame);
                answered.append(reply.error ? 0 : reply.id);
            }
            return answered.size() == Pipelined + 1;
        }, 60000));
        QVERIFY(peakRequests <= maxRequests);
        QVERIFY2(peakBytes <= maxBytes + 128 * 1024, qPrintable(QString::number(peakBytes)));
        for (int i = 0; i < answered.size(); ++i)
            QCOMPARE(answered[i], quint64(i + 1));
    }
};

QTEST_GUILESS_MAIN(TestAppServer)
#include "tst_appserver.moc"
