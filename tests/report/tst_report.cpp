#include <framework/report/amountinwords.h>
#include <framework/data/dbgeral.h>
#include <framework/report/reportdefinition.h>
#include <framework/report/reportdesigner.h>
#include <framework/report/reportrenderer.h>

#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include "sharedclients.h"

#include <QTest>

using namespace fw;

namespace {

// A report of the test table: one row per item, its total, and a page footer.
QByteArray itemsReport(const QString &sql = QStringLiteral("SELECT NAME, CENTS FROM ITEM WHERE KIND = :P_KIND ORDER BY NAME"))
{
    return QStringLiteral(R"({"report": "Itens", "database": "dbVelmora", "parameters": ["P_KIND", "P_TOTAL"],
        "sql": "%1",
        "bands": [
          {"type": "title", "lines": [["Itens de {param:P_KIND}"]]},
          {"type": "detail", "lines": [[{"text": "{NAME}", "width": 3}, {"text": "{CENTS:cents}", "align": "right"}]]},
          {"type": "summary", "lines": [["Total {sum:CENTS:cents} em {count} itens: {param:P_TOTAL:words}"]]},
          {"type": "pageFooter", "lines": [["Página {page} de {pages}"]]}
        ]})").arg(sql).toUtf8();
}

QString pdfText(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    p.waitForFinished();
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

// The report component: its file format, its runs against the shared database, its output.
class TestReport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &content)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(content);
        return path;
    }

private slots:
    void initTestCase()
    {
        writeShared(m_dir.filePath(QStringLiteral("shared.db")),
                    {QStringLiteral("CREATE TABLE ITEM (NAME VARCHAR(20), CENTS BIGINT, KIND VARCHAR(1))"),
                     QStringLiteral("INSERT INTO ITEM VALUES ('Café', 450, 'B'), ('Pão', 125, 'B'), ('Sal', 99, 'C')"),
                     QStringLiteral("CREATE TABLE MANY AS WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N"
                                    " WHERE I < 200) SELECT 'Linha ' || I AS NAME, I AS CENTS, 'M' AS KIND FROM N")});
        dtmDBGeral().open(m_dir.filePath(QStringLiteral("shared.db")));
    }
    void cleanupTestCase() { dtmDBGeral().close(); }

    void amountInWords_data()
    {
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("words");
        QTest::newRow("0,00") << 0.0 << "zero reais";
        QTest::newRow("0,01") << 0.01 << "um centavo";
        QTest::newRow("0,50") << 0.5 << "cinquenta centavos";
        QTest::newRow("1,00") << 1.0 << "um real";
        QTest::newRow("12,50") << 12.5 << "doze reais e cinquenta centavos";
        QTest::newRow("21,01") << 21.01 << "vinte e um reais e um centavo";
        QTest::newRow("100,00") << 100.0 << "cem reais";
        QTest::newRow("101,00") << 101.0 << "cento e um reais";
        QTest::newRow("1.000,00") << 1000.0 << "mil reais";
        QTest::newRow("1.100,00") << 1100.0 << "mil e cem reais";
        QTest::newRow("1.234,00") << 1234.0 << "mil duzentos e trinta e quatro reais";
        QTest::newRow("1.000.000,00") << 1000000.0 << "um milhão de reais";
        QTest::newRow("2.000.010,00") << 2000010.0 << "dois milhões e dez reais";
        QTest::newRow("2.345.678,91") << 2345678.91
                                      << "dois milhões trezentos e quarenta e cinco mil seiscentos e setenta e oito "
                                         "reais e noventa e um centavos";
        QTest::newRow("1.000.000.000,00") << 1e9 << "um bilhão de reais";
        QTest::newRow("rounded to the cent") << 0.005 << "um centavo";
        QTest::newRow("negative") << -3.0 << "menos três reais";
    }
    void amountInWords()
    {
        QFETCH(double, amount);
        QFETCH(QString, words);
        QCOMPARE(ValorExtenso(amount), words);
    }

    void aRunBindsItsParametersAndWritesThePdf()
    {
        TReportDesignerDialog designer;
        designer.defaultDatabaseName = QStringLiteral("dbVelmora");
        designer.defaultDatabaseOnly = true;
        QStringList offered;
        designer.onBeforeGetQueryParams = [&](ReportParams &params, bool &) {
            for (const ReportParam &p : params)
                offered.append(p.name);
            ParamByName(params, QStringLiteral("P_KIND")).setAsString(QStringLiteral("B' OR 'x'='x"));
            ParamByName(params, QStringLiteral("P_TOTAL")).setAsString(QStringLiteral("5,75"));
        };
        const QString report = write(QStringLiteral("itens.QR2"), itemsReport());
        QCOMPARE(designer.fetch(report).rows.size(), 0); // bound, never spliced into the SQL
        designer.onBeforeGetQueryParams = [](ReportParams &params, bool &) {
            ParamByName(params, QStringLiteral("P_KIND")).setAsString(QStringLiteral("B"));
            ParamByName(params, QStringLiteral("P_TOTAL")).setAsString(QStringLiteral("5,75"));
        };
        QCOMPARE(offered, (QStringList{"P_KIND", "P_TOTAL"}));
        const QString pdf = m_dir.filePath(QStringLiteral("itens.pdf"));
        QCOMPARE(designer.printToPdf(report, pdf), 1);
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.read(5) == "%PDF-");
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed");
        const QString text = pdfText(pdf).simplified();
        QVERIFY2(text.contains(QStringLiteral("Itens de B")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("Café 4,50")));
        QVERIFY(!text.contains(QStringLiteral("Sal")));
        QVERIFY(text.contains(QStringLiteral("Total 5,75 em 2 itens: cinco reais e setenta e cinco centavos")));
        QVERIFY(text.contains(QStringLiteral("Página 1 de 1")));
    }

    void rowsFlowOverPagesWithTheFooterOnEach()
    {
        TReportDesignerDialog designer;
        designer.onBeforeGetQueryParams = [](ReportParams &params, bool &) {
            ParamByName(params, QStringLiteral("P_KIND")).setAsString(QStringLiteral("M"));
        };
        const QString report = write(QStringLiteral("many.QR2"),
                                     itemsReport(QStringLiteral("SELECT NAME, CENTS FROM MANY WHERE KIND = :P_KIND ORDER BY CENTS")));
        const QString pdf = m_dir.filePath(QStringLiteral("many.pdf"));
        const int pages = designer.printToPdf(report, pdf);
        QVERIFY(pages > 2);
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed");
        const QString text = pdfText(pdf);
        QVERIFY(text.contains(QStringLiteral("Página %1 de %1").arg(pages)));
        QVERIFY(text.contains(QStringLiteral("Linha 200")));
    }

    void aBrokenReportSaysWhatIsWrong_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("not JSON") << QByteArray("{report: ") << "é inválido";
        QTest::newRow("no SQL, run from a menu")
            << QByteArray(R"({"report": "X", "database": "dbVelmora", "bands": [{"type": "detail"}]})") << "não tem consulta";
        QTest::newRow("unknown band")
            << QByteArray(R"({"report": "X", "database": "dbVelmora", "sql": "SELECT 1", "bands": [{"type": "side"}]})")
            << "faixa de tipo \"side\"";
        QTest::newRow("SQL fails") << itemsReport(QStringLiteral("SELECT NAME FROM NOWHERE WHERE 1 = :P_KIND"))
                                   << "A consulta do relatório Itens falhou";
        QTest::newRow("undeclared parameter") << itemsReport(QStringLiteral("SELECT NAME FROM ITEM WHERE KIND = :P_OTHER"))
                                              << "usa o parâmetro P_OTHER na consulta sem declará-lo";
        QTest::newRow("unknown field") << itemsReport(QStringLiteral("SELECT NAME FROM ITEM WHERE KIND = :P_KIND"))
                                       << "O campo CENTS não existe";
        QTest::newRow("formats that don't chain")
            << QByteArray(R"({"report": "X", "database": "dbVelmora", "sql": "SELECT CENTS FROM ITEM",
                             "bands": [{"type": "detail", "lines": [["{CENTS:money:words}"]]}]})")
            << "Formato \"money:words\" desconhecido";
        QTest::newRow("other database")
            << QByteArray(R"({"report": "X", "database": "dbOutro", "sql": "SELECT 1", "bands": [{"type": "detail"}]})")
            << "só \"dbVelmora\" está disponível";
    }
    void aBrokenReportSaysWhatIsWrong()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        TReportDesignerDialog designer;
        designer.defaultDatabaseName = QStringLiteral("dbVelmora");
        designer.defaultDatabaseOnly = true;
        designer.onBeforeGetQueryParams = [](ReportParams &params, bool &) {
            if (ExistParam(params, QStringLiteral("P_KIND")))
                ParamByName(params, QStringLiteral("P_KIND")).setAsString(QStringLiteral("B"));
        };
        const QString report = write(QStringLiteral("broken.QR2"), content);
        try {
            designer.printToPdf(report, m_dir.filePath(QStringLiteral("broken.pdf")));
            QFAIL("the report ran");
        } catch (const ReportError &failure) {
            QVERIFY2(QString::fromUtf8(failure.what()).contains(message), failure.what());
        }
    }

    void aMissingFileSaysSo()
    {
        QVERIFY_THROWS_EXCEPTION(ReportError, ReportDefinition::load(m_dir.filePath(QStringLiteral("nada.QR2"))));
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
