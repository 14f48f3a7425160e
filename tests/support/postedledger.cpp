#include "postedledger.h"

#include "movementfields.h"

#include <framework/data/protocol.h>
#include <framework/data/recordset.h>

#include <QCborMap>
#include <QCborValue>

void post(const server::Ledger &ledger, const QString &client, int i, const QString &consumer)
{
    const QString number = QCborValue::fromCbor(ledger.getPrxMovClie({client}, Who).result).toString();
    fw::RecordSet set;
    acc00420::defineMovementFields(set);
    set.createDataSet();
    set.insert();
    set.fieldByName("CDCLIENTE").setAsString(client);
    set.fieldByName("NRSEQMOVCLI").setAsString(number);
    set.fieldByName("CDFILIAL").setAsString("0001");
    if (!consumer.isEmpty())
        set.fieldByName("CDCONSUMIDOR").setAsString(consumer);
    set.fieldByName("IDTIPMOCVLI").setAsString(i == 2 ? "D" : "C");
    // A text with what its encoding escapes, and beyond ASCII.
    set.fieldByName("DSHISTMOV").setAsString("Almoço \"especial\" \\ 1/2\tfim\n");
    set.fieldByName("VRMOVCLI").setAsFloat(10.0 * i);
    set.fieldByName("VRMOVPESCONS").setAsFloat(0);
    set.fieldByName("DTMOVCLI").setAsDateTime(QDateTime(QDate(2026, 11, i), QTime(9, 0)));
    set.post();
    // A posting refused would pass unseen and fail what depends on it far away.
    const server::Outcome o = ledger.SetMovCliente({set.deltaPacket()}, Who);
    const QCborMap envelope = QCborValue::fromCbor(o.result).toMap();
    if (o.failed() || !envelope.value(QLatin1String("ok")).toBool())
        qFatal("posting refused: %s %s", qUtf8Printable(o.errorMessage),
               qUtf8Printable(envelope.value(QLatin1String("message")).toString()));
}

void postThroughTheLedger(LedgerBackend &b)
{
    b.exec("INSERT INTO FILIAL VALUES ('0001', 'Matriz')");
    b.exec("INSERT INTO CLIENTE VALUES (?, '11222333000181', 'J', 'Cantina'), (?, '52998224725', 'F', 'João')", {C1, C2});
    b.exec("INSERT INTO CLIENFILIAL VALUES ('0001', ?), ('0001', ?)", {C1, C2});
    const server::Ledger ledger(b.storage());
    for (const auto &[client, count] : {std::pair{C1, 3}, std::pair{C2, 1}}) {
        for (int i = 1; i <= count; ++i)
            post(ledger, client, i);
    }
    ledger.setCancelamento({"X", "0007", fw::dateTimeToCbor(QDateTime::currentDateTime()), "t", C1, "0000000003"}, Who);
    ledger.setAtualizaCons({"0001", C1, "", fw::dateTimeToCbor(QDateTime(QDate(2026, 1, 1), QTime(0, 0))), "0007"}, Who);
}

