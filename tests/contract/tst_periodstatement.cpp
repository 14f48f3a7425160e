#include "statement.h"

#include <QDateTime>
#include <QTest>

using namespace acc00420;

Q_DECLARE_METATYPE(acc00420::Amounts)
Q_DECLARE_METATYPE(acc00420::Ageing)

namespace {

qint64 at(int month, int day) { return QDateTime(QDate(2026, month, day), QTime(10, 0)).toMSecsSinceEpoch(); }

// A hand-computed account: company values only but for one personal debit.
//   1 Jul  D 100,00
//   5 Aug  D  50,00
//  10 Aug  C  30,00   pays 30 of the July debit
//   1 Sep  D  40,00   cancelled: counts zero
//  20 Sep  D  20,00, personal 7,00
//  15 Oct  C 500,00   after the period
const QList<StatementMovement> Account{
    {"0000000001", at(7, 1), "D", "c1", "Almoço", 10000, 0},
    {"0000000002", at(8, 5), "D", "c1", "Almoço", 5000, 0},
    {"0000000003", at(8, 10), "C", "c1", "Crédito", 3000, 0},
    {"0000000004", at(9, 1), "X", "c1", "Cancelado", 4000, 0},
    {"0000000005", at(9, 20), "D", "c2", "Lanche", 2000, 700},
    {"0000000006", at(10, 15), "C", "c1", "Crédito", 50000, 0},
};

} // namespace

// The statement of a period: what is carried in, the running balances, the totals, the
// closing balances and what is owed by age, against the account worked out by hand.
class TestPeriodStatement : public QObject
{
    Q_OBJECT

private slots:
    void aPeriodOfTheAccount_data()
    {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<Amounts>("carried");
        QTest::addColumn<int>("lines");
        QTest::addColumn<Amounts>("credits");
        QTest::addColumn<Amounts>("debits");
        QTest::addColumn<Amounts>("closing");
        QTest::addColumn<Ageing>("owed"); // the company's
        // At 30 Sep: 70,00 of 1 Jul (91 days), 50,00 of 5 Aug (56), 20,00 of 20 Sep (10).
        QTest::newRow("August to September") << QDate(2026, 8, 1) << QDate(2026, 9, 30) << Amounts{-10000, 0} << 4
                                             << Amounts{3000, 0} << Amounts{7000, 700} << Amounts{-14000, -700}
                                             << Ageing{{2000, 5000, 0, 7000}};
        // At 10 Oct: 101, 66 and 20 days.
        QTest::newRow("a period with no movement") << QDate(2026, 9, 21) << QDate(2026, 10, 10) << Amounts{-14000, -700} << 0
                                                   << Amounts{} << Amounts{} << Amounts{-14000, -700}
                                                   << Ageing{{2000, 0, 5000, 7000}};
        QTest::newRow("the credit after pays the oldest first") << QDate(2026, 7, 1) << QDate(2026, 10, 31) << Amounts{} << 6
                                                                << Amounts{53000, 0} << Amounts{17000, 700}
                                                                << Amounts{36000, -700} << Ageing{};
    }
    void aPeriodOfTheAccount()
    {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(Amounts, carried);
        QFETCH(int, lines);
        QFETCH(Amounts, credits);
        QFETCH(Amounts, debits);
        QFETCH(Amounts, closing);
        QFETCH(Ageing, owed);
        const Statement s = buildStatement(Account, from, to);
        QCOMPARE(s.carried, carried);
        QCOMPARE(s.lines.size(), lines);
        QCOMPARE(s.credits, credits);
        QCOMPARE(s.debits, debits);
        QCOMPARE(s.closing, closing);
        QCOMPARE(s.owedCompany, owed);
        if (!s.lines.isEmpty())
            QCOMPARE(s.lines.last().balance, closing);
    }

    void personalDebtIsAgedApart()
    {
        const Statement s = buildStatement(Account, QDate(2026, 9, 1), QDate(2026, 9, 30));
        QCOMPARE(s.owedPersonal, (Ageing{{700, 0, 0, 0}}));
    }
};

QTEST_GUILESS_MAIN(TestPeriodStatement)
#include "tst_periodstatement.moc"
