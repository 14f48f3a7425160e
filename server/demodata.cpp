#include "demodata.h"

#include "chain.h"
#include "ledger.h"
#include "operators.h"
#include "statement.h"
#include <framework/data/protocol.h>

#include <QDateTime>

namespace server {
namespace {

QString code(int n, int width)
{
    return QString::number(n).rightJustified(width, u'0');
}

struct Sale
{
    QString number;
    QString till;
    qint64 opened;
};

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
    int dailyDebitCents; // typical size of a debit
    int lateFrom, lateTo; // days back between which nobody tops the account up (0, 0: never late)
};

// A canteen's accounts: the companies keep their accounts in credit and the subsidised
// consumers pay their share ahead; one company fell behind a few weeks ago and another
// caught up after a bad month.
const QList<Client> clients = {
    {1, "11222333000181", "J", "Cantina Metalúrgica Sul", {"0001", "0002"},
     {{1, "Ana Beatriz Costa", 3000, 15000}, {2, "Bruno Henrique Alves", 5000, 8000},
      {3, "Carla Regina Souza", -1, 0}, {4, "Diego Martins", -1, 0}}, 1850, 0, 0},
    {2, "52998224725", "F", "João Batista Moreira", {"0001"}, {{1, "João Batista Moreira", -1, 0}}, 2400, 0, 0},
    {3, "45789123000191", "J", "Refeitório Química Norte", {"0002"},
     {{1, "Elisa Fernandes", 2000, 10000}, {2, "Fábio Nogueira", -1, 0}}, 1200, 70, 28},
    {4, "39053344705", "F", "Maria das Graças Pinto", {"0001", "0002"}, {{1, "Maria das Graças Pinto", -1, 0}}, 900, 50, -1},
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
        Transaction transaction(storage, db);
        if (run(db, QStringLiteral("SELECT 1 FROM CLIENTE"), {}, "ler os clientes").next())
            throw fw::DatabaseError("o banco já tem clientes; os dados de demonstração vão só num banco novo");
        run(db, QStringLiteral("INSERT INTO FILIAL VALUES ('0001', 'Matriz Centro'), ('0002', 'Filial Distrito Industrial')"));
        // Two operators of the past, named in old movements, who no longer sign in.
        run(db, QStringLiteral("INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, IDATIVO) VALUES ('0001', 'Ana Paula Ribeiro', 'N'),"
                               " ('0002', 'Carlos Eduardo Lima', 'N')"));
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
            // About four months of movements, a few a week, oldest first. The balances are
            // followed here only to decide when an account is topped up; the ledger computes
            // the stored ones.
            int number = 0;
            qint64 company = 0, personal = 0;
            auto post = [&](const QString &branch, const QString &consumer, const QDateTime &when, const QString &type,
                            qint64 companyCents, qint64 personalCents, const QString &history, const Sale *sale) {
                const qint64 at = when.toMSecsSinceEpoch();
                const QVariant text(QMetaType(QMetaType::QString)), moment(QMetaType(QMetaType::LongLong));
                const QString update = type == "X" ? QStringLiteral("Cancelado pelo operador.")
                                                   : QStringLiteral("Inclusão de crédito/débito realizada pelo operador.");
                run(db, QStringLiteral("INSERT INTO MOVICLIE (CDCLIENTE, NRSEQMOVCLI, CDFILIAL, CDCONSUMIDOR, VRMOVCLI,"
                                       " DTMOVCLI, DSHISTMOV, IDTIPMOCVLI, NRSEQVENDA, CDCAIXA, DTABERCAIX, CDTIPORECE,"
                                       " VRMOVPESCONS, DTATUMOVCLIE, CDOPERADOR, DSATUMOVCLIE, TIPO, DTMOVIMCLIE)"
                                       " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                    {client, code(++number, 10), branch, consumer, companyCents, at, history, type,
                     sale ? QVariant(sale->number) : text, sale ? QVariant(sale->till) : text,
                     sale ? QVariant(sale->opened) : moment, sale ? QVariant(QStringLiteral("004")) : text, personalCents,
                     at, operators.at(dice.roll(3)), update, sale ? QStringLiteral("V") : QStringLiteral("M"),
                     QDateTime(when.date(), QTime(0, 0)).toMSecsSinceEpoch()});
                const int sign = acc00420::balanceSign(type);
                company += sign * companyCents;
                personal += sign * personalCents;
            };
            const QString firstBranch = QLatin1String(c.branches.first());
            post(firstBranch, QString(), QDateTime(today.addDays(-121), QTime(9, 0)), "C", c.dailyDebitCents * 30, 0,
                 QStringLiteral("Depósito inicial da empresa"), nullptr);
            for (int day = 120; day >= 0; day -= 1 + dice.roll(3)) {
                const Consumer &k = c.consumers.at(dice.roll(int(c.consumers.size())));
                const QString consumer = code(k.number, 21);
                const QString branch = QLatin1String(c.branches.at(dice.roll(int(c.branches.size()))));
                const QDateTime when(today.addDays(-day), QTime(11 + dice.roll(3), dice.roll(60), dice.roll(60)));
                const bool paid = day > c.lateFrom || day < c.lateTo;
                const qint64 cents = c.dailyDebitCents / 2 + dice.roll(c.dailyDebitCents);
                // A subsidised consumer's debit is split: the company pays its share, the
                // consumer the rest, from what the consumer paid in ahead.
                const qint64 share = k.subsidyHundredths > 0 ? cents * (10000 - k.subsidyHundredths) / 10000 : 0;
                if (paid && company - cents < c.dailyDebitCents * 3)
                    post(firstBranch, QString(), when.addSecs(-3 * 3600), "C", c.dailyDebitCents * (15 + dice.roll(10)), 0,
                         QStringLiteral("Pagamento da empresa"), nullptr);
                if (paid && share > 0 && personal < share)
                    post(branch, consumer, when.addSecs(-600), "C", 0, (5 + dice.roll(4)) * 1000,
                         QStringLiteral("Recarga pessoal em dinheiro"), nullptr);
                const int kind = dice.roll(20);
                if (kind < 14) { // a meal at the till
                    Sale sale{code(++saleNumber, 10), code(1 + dice.roll(3), 3),
                              QDateTime(when.date(), QTime(6, 30)).toMSecsSinceEpoch()};
                    const bool cancelled = kind == 0;
                    run(db, QStringLiteral("INSERT INTO VENDA VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                        {branch, sale.till, sale.number, sale.opened, when.toMSecsSinceEpoch(), cents,
                         cancelled ? "X" : "A", cancelled ? QVariant(QStringLiteral("Venda lançada na conta errada.")) : QVariant(QMetaType(QMetaType::QString)),
                         cancelled ? QVariant(when.addSecs(900).toMSecsSinceEpoch()) : QVariant(QMetaType(QMetaType::LongLong))});
                    run(db, QStringLiteral("INSERT INTO RECEBIMENTO VALUES (?, ?, ?, '004', ?, ?, ?)"),
                        {branch, sale.till, sale.number, cents, cancelled ? "X" : "A",
                         cancelled ? QVariant(when.addSecs(900).toMSecsSinceEpoch()) : QVariant(QMetaType(QMetaType::LongLong))});
                    post(branch, consumer, when, cancelled ? "X" : "D", cents, share,
                         cancelled ? QStringLiteral("Venda lançada na conta errada") : QStringLiteral("Consumo na cantina"), &sale);
                } else if (kind < 17) {
                    post(branch, consumer, when, "D", cents, share, QStringLiteral("Lanche fora do horário"), nullptr);
                } else if (kind < 18) {
                    post(branch, consumer, when, "X", cents, 0, QStringLiteral("Lançamento em duplicidade"), nullptr);
                } else if (kind < 19) {
                    post(branch, QString(), when, "A", c.dailyDebitCents / 4 + dice.roll(200), 0,
                         QStringLiteral("Ajuste de fechamento"), nullptr);
                } else {
                    post(branch, consumer, when, "C", c.dailyDebitCents / 2, 0, QStringLiteral("Devolução de consumo"), nullptr);
                }
            }
            run(db, QStringLiteral("INSERT INTO NUMMOVCLIE (CDCLIENTE, NRULTMOV) VALUES (?, ?)"), {client, number});
        }
        sealAccounts(db); // written here, not through the ledger: their chains start sealed
        transaction.commit();
    }
    const Passwords passwords(1);
    const Operators operators(storage, passwords);
    operators.add({QStringLiteral("0007"), QStringLiteral("Operador Demonstração"), true, {"0001", "0002"}, rightNames()},
                  QStringLiteral("demo0007"));
    operators.add({QStringLiteral("0012"), QStringLiteral("Caixa Demonstração"), true, {"0001"}, {"consultar", "lancar"}},
                  QStringLiteral("demo0012"));
    // Balances as the ledger computes them, from the first movement on.
    Ledger ledger(storage);
    for (const Client &c : clients) {
        ledger.setAtualizaCons({QStringLiteral("0001"), code(c.number, 21), QString(),
                                fw::dateTimeToCbor(QDateTime::fromMSecsSinceEpoch(0)), QStringLiteral("0007")});
    }
}

} // namespace server
