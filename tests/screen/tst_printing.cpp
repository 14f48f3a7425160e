#include <framework/report/amountinwords.h>
#include "demodata.h"
#include <framework/core/formatsettings.h>
#include <framework/core/logincontext.h>
#include "schema.h"
#include "screenonfakeserver.h"
#include "sharedclients.h"

#include <QApplication>
#include <QProcess>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace acc00420;

namespace {

TestMovement movement(std::optional<double> personal)
{
    TestMovement m{"0000000042", "D", 10.0};
    m.personal = personal;
    return m;
}

} // namespace

// The receipt: the parameters the screen gives the report, the menu entry that prints it, and
// the receipt of a demo movement written by acc00420-receipt.
class TestPrinting : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ScreenOnFakeServer> m_fixture;

    TfrmPagClie &s() { return m_fixture->screen(); }

private slots:
    void initTestCase() { createSharedClients(m_dir.filePath("shared.db")); }
    void init() { m_fixture = std::make_unique<ScreenOnFakeServer>(); }
    void cleanup() { m_fixture.reset(); }

    void theReportGetsWhatItDeclares_data()
    {
        QTest::addColumn<QStringList>("declared");
        QTest::addColumn<std::optional<double>>("personal");
        QTest::addColumn<QStringList>("values"); // in the declared order
        const QStringList all{"P_CDCLIENTE", "P_CDFILIAL", "P_NRSEQMOVCLI", "P_VREXTENSO"};
        QTest::newRow("only the number") << QStringList{"P_NRSEQMOVCLI"} << std::optional(12.5)
                                         << QStringList{"0000000042"};
        QTest::newRow("all four, twelve and a half")
            << all << std::optional(12.5) << QStringList{"000000000000000000001", "0001", "0000000042", "12,5"};
        QTest::newRow("no personal amount") << QStringList{"P_VREXTENSO"} << std::optional<double>() << QStringList{""};
        QTest::newRow("whole amount") << QStringList{"P_VREXTENSO"} << std::optional(7.0) << QStringList{"7"};
        QTest::newRow("another parameter left alone")
            << QStringList{"P_OUTRO", "p_nrseqmovcli"} << std::optional(1.0) << QStringList{"intocado", "0000000042"};
    }
    void theReportGetsWhatItDeclares()
    {
        QFETCH(QStringList, declared);
        QFETCH(std::optional<double>, personal);
        QFETCH(QStringList, values);
        QVERIFY(m_fixture->load({movement(personal)}));
        fw::ReportParams params;
        for (const QString &name : declared)
            params.append({name, name == "P_OUTRO" ? QVariant("intocado") : QVariant()});
        for (bool handled : {false, true}) {
            bool flag = handled;
            s().rpddPadrao->fillQueryParams(params);
            s().rpddPadraoBeforeGetQueryParams(params, flag);
            QCOMPARE(flag, handled);
        }
        QStringList got;
        for (const fw::ReportParam &p : std::as_const(params))
            got.append(p.value.toString());
        QCOMPARE(got, values);
        QCOMPARE(params.size(), declared.size()); // nothing added
    }

    void thePrintButtonChangesNothing()
    {
        QVERIFY(!s().sbtImprimir->isEnabled());
        QVERIFY(m_fixture->load({movement(1.0)}));
        s().sbtImprimirClick();
        m_fixture->key(Qt::Key_P, Qt::ControlModifier);
        QVERIFY(m_fixture->server.calls.isEmpty());
        QVERIFY(m_fixture->dialogs.shown.isEmpty());
        QCOMPARE(s().cdsMovCliente->state(), fw::DataSetState::Browse);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void theReceiptIsOfferedForABrowsedMovement()
    {
        QVERIFY(!s().mnuImprimirRecibo->isEnabled()); // no statement
        QVERIFY(m_fixture->load({}));
        QVERIFY(!s().mnuImprimirRecibo->isEnabled()); // no movement
        QVERIFY(m_fixture->load({movement(1.0)}));
        QVERIFY(s().mnuImprimirRecibo->isEnabled());
        QVERIFY(s().mnuManutencao->actions().contains(s().mnuImprimirRecibo));
        m_fixture->key(Qt::Key_F2);
        QVERIFY(!s().mnuImprimirRecibo->isEnabled()); // a movement being typed
        m_fixture->key(Qt::Key_Escape);
        QVERIFY(s().mnuImprimirRecibo->isEnabled());
    }

    void theReceiptOfADemoMovement_data()
    {
        QTest::addColumn<QString>("movement");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("a movement of the account") << "" << 0;
        QTest::newRow("a number the account doesn't have") << "9999999999" << 1;
    }
    void theReceiptOfADemoMovement()
    {
        QFETCH(QString, movement);
        QFETCH(int, exitCode);
        QTemporaryDir dir;
        const QString file = dir.filePath("demo.db");
        {
            server::Storage storage(file);
            server::migrate(storage.connection(), storage.kind());
            server::createDemoData(storage, QDate::currentDate());
        }
        QString client, number;
        double personal = 0;
        {
            const QString name = QStringLiteral("demo-reader");
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(file);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("SELECT CDCLIENTE, NRSEQMOVCLI, VRMOVPESCONS FROM MOVICLIE WHERE VRMOVPESCONS > 0"
                           " AND CDCLIENTE = '000000000000000000001' ORDER BY NRSEQMOVCLI"));
            QVERIFY(q.next());
            client = q.value(0).toString();
            number = q.value(1).toString();
            personal = q.value(2).toLongLong() / 100.0;
            q = QSqlQuery();
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
        }
        if (!movement.isEmpty())
            number = movement;
        const QString pdf = dir.filePath("recibo.pdf");
        QProcess tool;
        tool.start(QStringLiteral(RECEIPT_TOOL_PATH), {"--database=" + file, "--client=" + client,
                                                        "--movement=" + number, "--output=" + pdf});
        QVERIFY(tool.waitForFinished(60000));
        const QString errors = QString::fromLocal8Bit(tool.readAllStandardError());
        QCOMPARE(tool.exitCode(), exitCode);
        if (exitCode != 0) {
            QVERIFY2(errors.contains(QStringLiteral("lançamento 9999999999 do cliente")), qPrintable(errors));
            QVERIFY(!QFile::exists(pdf));
            return;
        }
        QFile written(pdf);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.read(5), QByteArray("%PDF-"));
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed");
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(60000));
        const QString receipt = QString::fromUtf8(text.readAllStandardOutput()).simplified();
        QVERIFY2(receipt.contains(QStringLiteral("Cliente: Cantina Metalúrgica Sul")), qPrintable(receipt));
        QVERIFY(receipt.contains(QStringLiteral("Lançamento nº ") + number));
        QVERIFY(receipt.contains(QStringLiteral("RECIBO")));
        QVERIFY(receipt.contains(QStringLiteral("Valor pessoal: R$ ") + fw::FormatFloat("0.00", personal)));
        QVERIFY(receipt.contains(u'(' + fw::ValorExtenso(personal) + u')'));
    }
};

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
