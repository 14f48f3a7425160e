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
#include <QAbstractButton>
#include <QLabel>
#include <QTest>
#include <QTimer>

using namespace acc00420;

namespace {

TestMovement movement(std::optional<double> personal)
{
    TestMovement m{"0000000042", "D", 10.0};
    m.personal = personal;
    return m;
}

TestMovement dated(const char *number, const char *type, double company, int month, int day)
{
    TestMovement m{number, type, company, 0.0};
    m.when = QDateTime(QDate(2026, month, day), QTime(10, 30));
    return m;
}

// Runs `act` on the modal dialog as soon as it shows.
void onModal(std::function<void(QWidget *)> act)
{
    QTimer::singleShot(0, [act = std::move(act)] {
        QTRY_VERIFY(QApplication::activeModalWidget());
        act(QApplication::activeModalWidget());
    });
}

// Types a date into a date field of the dialog, as the operator does: the field's text chosen
// and the digits typed over it.
void typeDate(QWidget *dialog, const char *field, const QString &digits)
{
    auto *edit = dialog->findChild<fw::TDateEditPlus *>(QLatin1String(field))->edit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, digits);
}

} // namespace

// The receipt and the statement: the parameters the screen gives the receipt's report, the
// menu entries that print them, the receipt of a demo movement written by acc00420-receipt,
// and the statement asked for and exported by keyboard.
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
        QTest::addColumn<QString>("movement"); // empty: the account's first, with the values below
        QTest::addColumn<qint64>("companyCents");
        QTest::addColumn<qint64>("personalCents");
        QTest::addColumn<QString>("headline");
        QTest::addColumn<double>("amount"); // the headline's, in words
        QTest::newRow("a manual entry moves the company value")
            << "" << qint64(1250) << qint64(0) << "Valor empresa: R$ 12,50" << 12.5;
        QTest::newRow("a personal recharge, thousands grouped")
            << "" << qint64(0) << qint64(123456) << "Valor pessoal: R$ 1.234,56" << 1234.56;
        QTest::newRow("a sale moves both: the company value heads")
            << "" << qint64(200000000) << qint64(500) << "Valor empresa: R$ 2.000.000,00" << 2000000.0;
        QTest::newRow("a number the account doesn't have") << "9999999999" << qint64(0) << qint64(0) << "" << 0.0;
    }
    void theReceiptOfADemoMovement()
    {
        QFETCH(QString, movement);
        QFETCH(qint64, companyCents);
        QFETCH(qint64, personalCents);
        QFETCH(QString, headline);
        QFETCH(double, amount);
        QTemporaryDir dir;
        const QString file = dir.filePath("demo.db");
        {
            server::Storage storage(file);
            server::migrate(storage.connection(), storage.kind());
            server::createDemoData(storage, QDate::currentDate());
        }
        const QString client = QStringLiteral("000000000000000000001"); // CNPJ 11.222.333/0001-81
        QString number = movement;
        {
            const QString name = QStringLiteral("demo-writer");
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(file);
            QVERIFY(db.open());
            QSqlQuery q(db);
            if (number.isEmpty()) {
                QVERIFY(q.prepare("SELECT MIN(NRSEQMOVCLI) FROM MOVICLIE WHERE CDCLIENTE = ?"));
                q.addBindValue(client);
                QVERIFY(q.exec() && q.next());
                number = q.value(0).toString();
                // At the other branch: the receipt heads with the movement's own.
                QVERIFY(q.prepare("UPDATE MOVICLIE SET VRMOVCLI = ?, VRMOVPESCONS = ?, CDFILIAL = '0002'"
                                  " WHERE CDCLIENTE = ? AND NRSEQMOVCLI = ?"));
                q.addBindValue(companyCents);
                q.addBindValue(personalCents);
                q.addBindValue(client);
                q.addBindValue(number);
                QVERIFY(q.exec());
            }
            q = QSqlQuery();
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
        }
        const QString pdf = dir.filePath("recibo.pdf");
        QProcess tool;
        tool.start(QStringLiteral(RECEIPT_TOOL_PATH), {"--database=" + file, "--client=" + client,
                                                        "--movement=" + number, "--output=" + pdf});
        QVERIFY(tool.waitForFinished(60000));
        const QString errors = QString::fromLocal8Bit(tool.readAllStandardError());
        if (headline.isEmpty()) {
            QCOMPARE(tool.exitCode(), 1);
            QVERIFY2(errors.contains(QStringLiteral("lançamento 9999999999 do cliente")), qPrintable(errors));
            QVERIFY(!QFile::exists(pdf));
            return;
        }
        QVERIFY2(tool.exitCode() == 0, qPrintable(errors));
        QFile written(pdf);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.read(5), QByteArray("%PDF-"));
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed");
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(60000));
        const QString receipt = QString::fromUtf8(text.readAllStandardOutput()).simplified();
        QVERIFY2(receipt.contains(QStringLiteral("Filial Distrito Industrial")), qPrintable(receipt));
        QVERIFY2(receipt.contains(QStringLiteral("Cliente: Cantina Metalúrgica Sul")), qPrintable(receipt));
        QVERIFY(receipt.contains(QStringLiteral("Inscrição: 11.222.333/0001-81")));
        QVERIFY(receipt.contains(QStringLiteral("Lançamento nº ") + number));
        QVERIFY2(receipt.contains(headline), qPrintable(receipt));
        QVERIFY2(receipt.contains(u'(' + fw::ValorExtenso(amount) + u')'), qPrintable(receipt));
    }

    // Ctrl+Shift+E, the period typed, whose chosen by its key, Enter: the period's rows go to
    // the file; a period backwards is said in the dialog, and Esc leaves without a file.
    void theStatementIsExportedByKeyboard_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QList<int>>("keys"); // Alt+letter choices made before Enter
        QTest::addColumn<QStringList>("numbers"); // the rows written; empty: no file
        QTest::addColumn<QString>("args"); // the consumer and all-consumers flag asked for
        QTest::newRow("November, every consumer") << "01112026" << "30112026" << QList<int>{Qt::Key_T}
                                                  << QStringList{"0000000002", "0000000003"} << "|T";
        QTest::newRow("this consumer, cancelled left out") << "01112026" << "30112026" << QList<int>{Qt::Key_C, Qt::Key_N}
                                                           << QStringList{"0000000002"} << "000000000000000000042|";
        QTest::newRow("a period backwards") << "30112026" << "01112026" << QList<int>{} << QStringList{} << "";
    }
    void theStatementIsExportedByKeyboard()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QList<int>, keys);
        QFETCH(QStringList, numbers);
        QFETCH(QString, args);
        QVERIFY(m_fixture->load({dated("0000000001", "C", 100, 10, 20), dated("0000000002", "D", 30, 11, 3),
                                 dated("0000000003", "X", 5, 11, 9), dated("0000000004", "D", 10, 12, 2)}));
        QTemporaryDir dir;
        const QString file = dir.filePath("extrato.csv");
        s().askExportFile = [&](const QString &) { return file; };
        QString message;
        onModal([&](QWidget *dialog) {
            typeDate(dialog, "depDe", from);
            typeDate(dialog, "depAte", to);
            QApplication::setActiveWindow(dialog); // its mnemonics answer the keys, as in a window of its own
            for (int key : keys) {
                QTest::keyClick(dialog, Qt::Key(key), Qt::AltModifier);
                // A mnemonic presses its button for a moment, then clicks it.
                if (auto *button = qobject_cast<QAbstractButton *>(dialog->focusWidget()))
                    QTRY_VERIFY(!button->isDown());
            }
            QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
            if (!QApplication::activeModalWidget())
                return;
            message = dialog->findChild<QLabel *>("lblMensagem")->text();
            const bool onTheFrom = dialog->focusWidget() == dialog->findChild<fw::TDateEditPlus *>("depDe")->edit();
            QTest::keyClick(dialog->focusWidget(), Qt::Key_Escape);
            QVERIFY(onTheFrom);
        });
        m_fixture->key(Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        if (numbers.isEmpty()) {
            QCOMPARE(message, QStringLiteral("A data inicial deve ser anterior ou igual à final."));
            QVERIFY(!QFile::exists(file));
            return;
        }
        const FakeAppServer::Call &asked = m_fixture->server.calls.last();
        QCOMPARE(asked.method, QStringLiteral("getMovCliente"));
        QCOMPARE(asked.args[0].toString() + u'|' + asked.args[1].toString(), args);
        QVERIFY2(m_fixture->dialogs.shown.isEmpty(), qPrintable(m_fixture->dialogs.texts().join(u'|')));
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QStringList got;
        for (const QString &line : QString::fromUtf8(written.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).mid(1))
            got << line.section(u';', 1, 1);
        QCOMPARE(got, numbers);
    }

    void theStatementIsOfferedWhileBrowsingAnAccount()
    {
        QVERIFY(!s().mnuImprimirExtrato->isEnabled()); // no account
        QVERIFY(m_fixture->load({}));
        QVERIFY(s().mnuImprimirExtrato->isEnabled()); // an account without movements has periods too
        QVERIFY(s().mnuExportarExtrato->isEnabled());
        m_fixture->key(Qt::Key_F2);
        QVERIFY(!s().mnuImprimirExtrato->isEnabled()); // a movement being typed
    }

    // A ledger file that is not there: refused, and nothing created in its place.
    void theReceiptToolRefusesAMissingLedger()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath("nao-existe.db");
        QProcess tool;
        tool.start(QStringLiteral(RECEIPT_TOOL_PATH), {"--database=" + missing, "--client=1", "--movement=1",
                                                        "--output=" + dir.filePath("recibo.pdf")});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 1);
        QVERIFY(QString::fromLocal8Bit(tool.readAllStandardError()).contains(QStringLiteral("não existe")));
        QVERIFY(!QFile::exists(missing));
        QVERIFY(!QFile::exists(dir.filePath("recibo.pdf")));
    }
};

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
