#include "ledgerbackend.h"
#include "serverprocess.h"

#include <QDateTime>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString C1 = QString(20, u'0') + u'1';

qint64 at(int month, int day) { return QDateTime(QDate(2026, month, day), QTime(10, 0)).toMSecsSinceEpoch(); }

// A small account: carried in from October, November's movements (one cancelled, one with a
// text a spreadsheet would take for a formula), one of December.
void fillAccount(LedgerBackend &b)
{
    b.exec("INSERT INTO FILIAL VALUES ('0001', 'Matriz Centro')");
    b.exec("INSERT INTO CLIENTE VALUES (?, '11222333000181', 'J', 'Cantina Sul')", {C1});
    b.exec("INSERT INTO CLIENFILIAL VALUES ('0001', ?)", {C1});
    b.exec("INSERT INTO CONSUMIDOR (CDCLIENTE, CDCONSUMIDOR, NMCONSUMIDOR) VALUES (?, '000000000000000000007', 'Ana')", {C1});
    const struct { const char *number; qint64 moment; const char *type; const char *history; qint64 company, personal; } rows[] = {
        {"0000000001", at(10, 20), "C", "Pagamento", 150000, 0},
        {"0000000002", at(11, 3), "D", "Almoço; \"executivo\"", 2550, 1000},
        {"0000000003", at(11, 9), "X", "Duplicado", 999, 0},
        {"0000000004", at(11, 28), "D", "=1+1", 123456, 0},
        {"0000000005", at(12, 2), "C", "Depois", 100, 0},
    };
    for (const auto &r : rows)
        b.exec("INSERT INTO MOVICLIE (CDCLIENTE, NRSEQMOVCLI, CDFILIAL, CDCONSUMIDOR, VRMOVCLI, DTMOVCLI, DSHISTMOV, IDTIPMOCVLI,"
               " VRMOVPESCONS, TIPO) VALUES (?, ?, '0001', '000000000000000000007', ?, ?, ?, ?, ?, 'M')",
               {C1, r.number, r.company, r.moment, r.history, r.type, r.personal});
}

} // namespace

// acc00420-statement as a script runs it: the period's rows as CSV read back field by field,
// the PDF's text, and a clear refusal of what it cannot print.
class TestStatementPrint : public QObject
{
    Q_OBJECT

private slots:
    void theStatementTool_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("expected"); // CSV lines, the PDF's texts, or the error's
        const QStringList november{"--client=1", "--from=01/11/2026", "--to=30/11/2026"};
        QTest::newRow("csv") << november + QStringList{"--format=csv"} << 0 << QStringList{
            "\xEF\xBB\xBF" "Data;Lançamento;Tipo;Consumidor;Histórico;Valor empresa;Valor pessoal;Saldo empresa;Saldo pessoal",
            "03/11/2026;0000000002;Débito;000000000000000000007;\"Almoço; \"\"executivo\"\"\";25,50;10,00;1474,50;-10,00",
            "09/11/2026;0000000003;Cancelado;000000000000000000007;Duplicado;9,99;0,00;1474,50;-10,00",
            "28/11/2026;0000000004;Débito;000000000000000000007;'=1+1;1234,56;0,00;239,94;-10,00"};
        QTest::newRow("pdf") << november + QStringList{"--format=pdf", "--consumer=7"} << 0 << QStringList{
            "Matriz Centro", "Cliente: Cantina Sul", "CPF/CNPJ: 11.222.333/0001-81", "Consumidor: 000000000000000000007 Ana",
            "Período: 01/11/2026 a 30/11/2026", "Empresa: 1.500,00", "Cancelado", "1.234,56 0,00 239,94 -10,00",
            "Créditos 0,00 0,00 Débitos 1.260,06 10,00",
            "0 a 30 dias 0,00 10,00", "Página 1 de 1"};
        QTest::newRow("a day that does not exist") << QStringList{"--client=1", "--from=31/02/2026", "--to=30/11/2026",
                                                                  "--format=csv"}
                                                   << 1 << QStringList{"--from: \"31/02/2026\" não é uma data DD/MM/AAAA"};
        QTest::newRow("the period backwards") << QStringList{"--client=1", "--from=30/11/2026", "--to=01/11/2026", "--format=csv"}
                                              << 1 << QStringList{"vem depois de --to"};
        QTest::newRow("an unknown client") << QStringList{"--client=9", "--from=01/11/2026", "--to=30/11/2026", "--format=pdf"}
                                           << 1 << QStringList{"cliente 000000000000000000009 não cadastrado"};
        QTest::newRow("an unknown format") << november + QStringList{"--format=xls"} << 1 << QStringList{"não é pdf nem csv"};
    }
    void theStatementTool()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QStringList, expected);
        LedgerBackend b("sqlite");
        fillAccount(b);
        QTemporaryDir dir;
        const QString output = dir.filePath("extrato");
        const CommandRun run = runServerCommand(STATEMENT_TOOL_PATH, b.storage().url(), args << "--output=" + output);
        QCOMPARE(run.status, status);
        if (status != 0) {
            QVERIFY2(run.err.contains(expected.first()), qPrintable(run.err));
            QVERIFY(!QFile::exists(output));
            return;
        }
        QFile file(output);
        QVERIFY(file.open(QIODevice::ReadOnly));
        if (args.contains("--format=csv")) {
            QCOMPARE(QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts), expected);
            return;
        }
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed");
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), output, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(60000));
        const QString printed = QString::fromUtf8(text.readAllStandardOutput()).simplified();
        for (const QString &part : std::as_const(expected))
            QVERIFY2(printed.contains(part), qPrintable(part + " em: " + printed));
    }
};

QTEST_GUILESS_MAIN(TestStatementPrint)
#include "tst_statementprint.moc"
