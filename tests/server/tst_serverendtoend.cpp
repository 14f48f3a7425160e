#include "abort.h"
#include "accountservice.h"
#include "appserver.h"
#include "checkresultserv.h"
#include "demodata.h"
#include "ledger.h"
#include "ledgerbackend.h"
#include "movementfields.h"
#include "recordingdialogs.h"
#include "recordset.h"

#include <QTest>

using namespace server;

// The screen's side of every method, through the real server on loopback, on the demo data.
class TestServerEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void demoAccountThroughTheWire()
    {
        LedgerBackend backend("sqlite");
        createDemoData(backend.storage(), QDate::currentDate());
        Dispatcher dispatcher;
        Ledger ledger(backend.storage());
        ledger.publish(dispatcher);
        AppServer appServer(dispatcher, {});
        QVERIFY(appServer.listen(nullptr));

        fw::TNetConnection connection;
        connection.setServerName(Ledger::ObjectName);
        connection.setPort(appServer.port());
        acc00420::AccountService service(connection);
        const QString client = QString(20, u'0') + "1";
        const QDateTime start = QDateTime(QDate::currentDate().addDays(-60), QTime(0, 0));

        const fw::CborItem recalculated =
            fw::CheckResultServ(service.setAtualizaCons("0001", client, "", start, "0007"), true, 0);
        QCOMPARE(recalculated.toValue(), QCborValue(true));

        QString consumer, all = "T";
        fw::RecordSet statement;
        acc00420::defineMovementFields(statement);
        statement.loadFromPacket(fw::CheckResultServ(service.getMovCliente(consumer, all, client, start), true, 0).bytes());
        QVERIFY(statement.recordCount() > 5);
        for (statement.first(); !statement.eof(); statement.next())
            QVERIFY(statement.fieldByName("DTMOVCLI").asDateTime() >= start);

        fw::RecordSet consumers;
        consumers.loadFromPacket(fw::CheckResultServ(service.getConsumidor(client, "", "T", "0002"), true, 0).bytes());
        QCOMPARE(consumers.recordCount(), 4);

        // A new movement, as the screen will post it.
        const QString number = acc00420::movementNumberText(service.getPrxMovClie(client));
        QVERIFY(number.toInt() > 0);
        statement.last();
        statement.insert();
        statement.fieldByName("CDCLIENTE").setAsString(client);
        statement.fieldByName("NRSEQMOVCLI").setAsString(number);
        statement.fieldByName("CDFILIAL").setAsString("0001");
        statement.fieldByName("IDTIPMOCVLI").setAsString("C");
        statement.fieldByName("VRMOVCLI").setAsFloat(25.5);
        statement.fieldByName("VRMOVPESCONS").setAsFloat(0);
        statement.fieldByName("DTMOVCLI").setAsDateTime(QDateTime::currentDateTime());
        statement.post();
        fw::CheckResultServ(service.SetMovCliente(statement.deltaPacket()), true, 0);
        statement.mergeChangeLog();
        fw::CheckResultServ(service.setAtualizaCons("0001", client, "", start, "0007"), true, 0);
        statement.loadFromPacket(fw::CheckResultServ(service.getMovCliente(consumer, all, client, start), true, 0).bytes());
        QVERIFY(statement.locate("NRSEQMOVCLI", number));
        QCOMPARE(statement.fieldByName("VRMOVCLI").asFloat(), 25.5);

        // A refusal reaches the operator as the server worded it.
        RecordingDialogs dialogs;
        QVERIFY_THROWS_EXCEPTION(fw::Abort, fw::CheckResultServ(
            service.setCancelamento("X", "0007", QDateTime::currentDateTime(), "Cancelado pelo operador.", client, "9999999999"),
            true, 0));
        QVERIFY(dialogs.texts().value(0).contains("não encontrado"));
    }
};

QTEST_GUILESS_MAIN(TestServerEndToEnd)
#include "tst_serverendtoend.moc"
