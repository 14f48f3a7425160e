#include "demodata.h"

#include "ledger.h"
#include "protocol.h"

#include <QDateTime>

namespace server {
namespace {

QString code(int n, int width)
{
    return QString::number(n).rightJustified(width, u'0');
}

struct Consumer
{
    int number;
    const char *name;
    int subsidyHundredths; // -1: none
    qint64 ceilingCents;
};

struct Client
{
    int number;
    const char *registration;
    const char *type;
    const char *name;
    QList<const char *> branches;
    QList<Consumer> consumers;
    int dailyDebitCents; // typical size of a debit, to steer the account into the red or not
};

const QList<Client> clients = {
    {1, "11222333000181", "J", "Cantina Metalúrgica Sul", {"0001", "0002"},
     {{1, "Ana Beatriz Costa", 3000, 15000}, {2, "Bruno Henrique Alves", 5000, 8000},
      {3, "Carla Regina Souza", -1, 0}, {4, "Diego Martins", -1, 0}}, 1850},
    {2, "52998224725", "F", "João Batista Moreira", {"0001"}, {{1, "João Batista Moreira", -1, 0}}, 2400},
    {3, "45789123000191", "J", "Refeitório Química Norte", {"0002"},
     {{1, "Elisa Fernandes", 2000, 10000}, {2, "Fábio Nogueira", -1, 0}}, 1200},
    {4, "39053344705", "F", "Maria das Graças Pinto", {"0001", "0002"}, {{1, "Maria das Graças Pinto", -1, 0}}, 900},
};

// A fixed sequence, so every demo database is the same.
class Dice
{
public:
    int roll(int sides)
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return int((m_state >> 33) % quint64(sides));
    }

private:
    quint64 m_state = 20261208;
};

} // namespace

void createDemoData(const Storage &storage, const QDate &today)
{
    const QSqlDatabase db = storage.connection();
    {
        Transaction transaction(db, storage.kind());
        if (run(db, QStringLiteral("SELECT 1 FROM CLIENTE"), {}, "ler os clientes").next())
            throw fw::DatabaseError("o banco já tem clientes; os dados de demonstração vão só num banco novo");
        run(db, QStringLiteral("INSERT INTO FILIAL VALUES ('0001', 'Matriz Centro'), ('0002', 'Filial Distrito Industrial')"));
        run(db, QStringLiteral("INSERT INTO OPERADOR VALUES ('0001', 'Ana Paula Ribeiro'), ('0002', 'Carlos Eduardo Lima'),"
                               " ('0007', 'Maria Aparecida Santos')"));
        Dice dice;
        const QStringList operators = {"0001", "0002", "0007"};
        int saleNumber = 1000;
        for (const Client &c : clients) {
            const QString client = code(c.number, 21);
            run(db, QStringLiteral("INSERT INTO CLIENTE VALUES (?, ?, ?, ?)"),
                {client, QLatin1String(c.registration), QLatin1String(c.type), QString::fromUtf8(c.name)});
            for (const char *branch : c.branches)
                run(db, QStringLiteral("INSERT INTO CLIENFILIAL VALUES (?, ?)"), {QLatin1String(branch), client});
            for (const Consumer &k : c.consumers) {
                const QString consumer = code(k.number, 21);
                const QVariant none(QMetaType(QMetaType::LongLong));
                run(db, QStringLiteral("INSERT INTO CONSUMIDOR VALUES (?, ?, ?, ?, ?)"),
                    {client, consumer, QString::fromUtf8(k.name),
                     k.subsidyHundredths < 0 ? none : QVariant(k.subsidyHundredths),
                     k.subsidyHundredths < 0 ? none : QVariant(k.ceilingCents)});
                for (const char *branch : c.branches)
                    run(db, QStringLiteral("INSERT INTO CONSFILIAL VALUES (?, ?, ?)"), {client, consumer, QLatin1String(branch)});
            }
            // About four months of movements, a few a week, oldest first.
            int number = 0;
            for (int day = 120; day >= 0; day -= 1 + dice.roll(3)) {
                const Consumer &k = c.consumers.at(dice.roll(int(c.consumers.size())));
                const QString branch = QLatin1String(c.branches.at(dice.roll(int(c.branches.size()))));
                const QDateTime when(today.addDays(-day), QTime(7 + dice.roll(11), dice.roll(60), dice.roll(60)));
                const qint64 at = when.toMSecsSinceEpoch();
                const int kind = dice.roll(10);
                QString type = kind < 6 ? "D" : kind < 8 ? "C" : kind < 9 ? "A" : "X";
                qint64 cents = kind == 6 || kind == 7 ? c.dailyDebitCents * (8 + dice.roll(8)) / 2
                                                      : c.dailyDebitCents / 2 + dice.roll(c.dailyDebitCents);
                const bool fromSale = type == "D" && dice.roll(3) > 0;
                const QString operatorCode = operators.at(dice.roll(3));
                QVariant sale(QMetaType(QMetaType::QString)), till(QMetaType(QMetaType::QString));
                QVariant tillOpened(QMetaType(QMetaType::LongLong)), receiptType(QMetaType(QMetaType::QString));
                if (fromSale) {
                    sale = code(++saleNumber, 10);
                    till = code(1 + dice.roll(3), 3);
                    const qint64 opened = QDateTime(when.date(), QTime(6, 30)).toMSecsSinceEpoch();
                    tillOpened = opened;
                    receiptType = QStringLiteral("004");
                    run(db, QStringLiteral("INSERT INTO VENDA VALUES (?, ?, ?, ?, ?, ?, 'A', NULL, NULL)"),
                        {branch, till, sale, opened, at, cents});
                    run(db, QStringLiteral("INSERT INTO RECEBIMENTO VALUES (?, ?, ?, '004', ?, 'A', NULL)"),
                        {branch, till, sale, cents});
                }
                const QString history = fromSale ? QStringLiteral("Consumo na cantina")
                    : type == "C" ? QStringLiteral("Pagamento em dinheiro")
                    : type == "A" ? QStringLiteral("Ajuste de fechamento")
                    : type == "X" ? QStringLiteral("Lançamento em duplicidade")
                                  : QStringLiteral("Débito manual");
                const QString update = type == "X" ? QStringLiteral("Cancelado pelo operador.")
                                                   : QStringLiteral("Inclusão de crédito/débito realizada pelo operador.");
                // A subsidised consumer's debits are split: the company pays its share, the
                // consumer the rest.
                const qint64 personal = k.subsidyHundredths > 0 && type == "D" ? cents * (10000 - k.subsidyHundredths) / 10000 : 0;
                run(db, QStringLiteral("INSERT INTO MOVICLIE (CDCLIENTE, NRSEQMOVCLI, CDFILIAL, CDCONSUMIDOR, VRMOVCLI,"
                                       " DTMOVCLI, DSHISTMOV, IDTIPMOCVLI, NRSEQVENDA, CDCAIXA, DTABERCAIX, CDTIPORECE,"
                                       " VRMOVPESCONS, DTATUMOVCLIE, CDOPERADOR, DSATUMOVCLIE, TIPO, DTMOVIMCLIE)"
                                       " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                    {client, code(++number, 10), branch, code(k.number, 21), cents, at, history, type, sale, till,
                     tillOpened, receiptType, personal, at, operatorCode, update,
                     fromSale ? QStringLiteral("V") : QStringLiteral("M"),
                     QDateTime(when.date(), QTime(0, 0)).toMSecsSinceEpoch()});
            }
            run(db, QStringLiteral("INSERT INTO NUMMOVCLIE VALUES (?, ?)"), {client, number});
        }
        transaction.commit();
    }
    // Balances as the ledger computes them, from the first movement on.
    Ledger ledger(storage);
    for (const Client &c : clients) {
        ledger.setAtualizaCons({QStringLiteral("0001"), code(c.number, 21), QString(),
                                fw::dateTimeToCbor(QDateTime::fromMSecsSinceEpoch(0)), QStringLiteral("0007")});
    }
}

} // namespace server
