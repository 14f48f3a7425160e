#include <framework/ui/busyindicator.h>
#include <framework/core/logincontext.h>
#include "acc00420module.h"
#include "screenonfakeserver.h"
#include "sharedclients.h"

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QMainWindow>
#include <QStatusBar>
#include <QTest>

using namespace acc00420;

Q_DECLARE_METATYPE(QList<TestMovement>)

namespace {

const QString Cancel = QStringLiteral("Confirma cancelamento ?");
const QString CancelVenda = QStringLiteral("Confirma cancelamento da venda?");
const QDateTime When(QDate(2026, 11, 20), QTime(10, 30)); // every test movement's moment

// Movement 5 of the loaded statement, from sale 77 of till 002, before and after it is cancelled.
TestMovement movement(const QString &type, const QString &sale = QString())
{
    TestMovement m{"0000000005", type, 10.0};
    m.sale = sale;
    m.till = sale.isEmpty() ? QString() : QStringLiteral("002");
    return m;
}

} // namespace

// Cancellation from the maintenance menu, and the verify button, against the recording fake
// server.
class TestCancellation : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ScreenOnFakeServer> m_fixture;
    FakeAppServer *m_server = nullptr;
    RecordingDialogs *m_dialogs = nullptr;

    TfrmPagClie &s() { return m_fixture->screen(); }
    fw::RecordSet &set() { return m_fixture->set(); }
    QCborArray args(const char *method)
    {
        for (const FakeAppServer::Call &c : std::as_const(m_server->calls)) {
            if (c.method == QLatin1String(method))
                return c.args;
        }
        return {};
    }
    // Movement 5 current in a statement of three, its sale already cancelled or not.
    void loadOnMovement5(const QString &sale = QString())
    {
        QVERIFY(m_fixture->load({{"0000000004", "C", 1.0}, movement("D", sale), {"0000000006", "D", 2.0}}));
        QVERIFY(set().locate("NRSEQMOVCLI", "0000000005"));
        QVERIFY(s().mnuCancelamento->isEnabled());
    }
    void cancelByMenu() { m_fixture->key(Qt::Key_M, Qt::ControlModifier); }

private slots:
    void initTestCase() { createSharedClients(m_dir.filePath("shared.db")); }
    void init()
    {
        m_fixture = std::make_unique<ScreenOnFakeServer>();
        m_server = &m_fixture->server;
        m_dialogs = &m_fixture->dialogs;
        dtDataMovto = {};
    }
    void cleanup() { m_fixture.reset(); }

    void theMenuItemIsTheWayIn()
    {
        QCOMPARE(s().mnuCancelamento->text(), QStringLiteral("Cancela Lança&mento"));
        const QList<QAction *> items = s().mnuManutencao->actions();
        const qsizetype at = items.indexOf(s().mnuCancelamento);
        QVERIFY(at > 0);
        QCOMPARE(items.at(at - 1), s().N1);
        QVERIFY(s().N1->isSeparator());
        QVERIFY(s().btfCancelamento->isHidden());
        QCOMPARE(s().btfCancelamento->toolTip().section(u' ', 0, 1), QStringLiteral("Cancela Lançamento"));
        // Each mnemonic of the menu takes the operator to one item.
        QStringList mnemonics;
        for (QAction *item : items) {
            const qsizetype amp = item->text().indexOf(u'&');
            if (amp >= 0)
                mnemonics.append(item->text().mid(amp + 1, 1).toLower());
        }
        QCOMPARE(QSet<QString>(mnemonics.cbegin(), mnemonics.cend()).size(), mnemonics.size());
        QCOMPARE(s().mnuConfigImpressora->text(), QStringLiteral("Configurar im&pressora..."));
    }

    void everyMnemonicOfTheScreenIsUnique()
    {
        QStringList captions;
        for (const QLabel *label : s().findChildren<QLabel *>())
            captions.append(label->text());
        for (int i = 0; i < s().pgcPadrao->count(); ++i)
            captions.append(s().pgcPadrao->tabText(i));
        for (const QAction *menu : s().mnuMenu->actions())
            captions.append(menu->text());
        QStringList mnemonics;
        for (const QString &caption : std::as_const(captions)) {
            const qsizetype amp = caption.indexOf(u'&');
            if (amp >= 0 && amp + 1 < caption.size())
                mnemonics.append(caption.mid(amp + 1, 1).toLower());
        }
        mnemonics.sort();
        QCOMPARE(QSet<QString>(mnemonics.cbegin(), mnemonics.cend()).size(), mnemonics.size());
        QVERIFY(!mnemonics.contains("f")); // the host's Financeiro
    }

    void fromTheGridAltNGoesBackToTheClient()
    {
        loadOnMovement5();
        s().dbgPadrao->setFocus();
        m_fixture->key(Qt::Key_N, Qt::AltModifier);
        QCOMPARE(m_fixture->focusName(), QStringLiteral("medCdCliente"));
        QVERIFY(!set().active()); // entering the panel closed the statement
    }

    void cancellation_data()
    {
        QTest::addColumn<bool>("blankConsumer");
        QTest::addColumn<QList<TestMovement>>("reloaded");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QStringList>("questions");
        QTest::addColumn<QStringList>("methods");
        const QStringList movementCalls{"setCancelamento", "setAtualizaCons", "getMovCliente"};
        const QStringList saleCalls = movementCalls + QStringList{"setCancelaVenda", "setCancelaReceb"};
        // The reloaded statement puts the cancelled movement elsewhere and gives it its sale:
        // the sale step reads the record current after the reload.
        const QList<TestMovement> withSale{{"0000000004", "C", 1.0}, {"0000000006", "D", 2.0}, movement("X", "0000000077")};
        const QList<TestMovement> withoutSale{{"0000000004", "C", 1.0}, {"0000000006", "D", 2.0}, movement("X")};
        QTest::newRow("No to the first question")
            << false << withSale << QList<int>{fw::mrNo} << QStringList{Cancel} << QStringList{};
        QTest::newRow("no sale: no second question")
            << false << withoutSale << QList<int>{fw::mrYes} << QStringList{Cancel} << movementCalls;
        QTest::newRow("No to the sale")
            << false << withSale << QList<int>{fw::mrYes, fw::mrNo} << QStringList{Cancel, CancelVenda} << movementCalls;
        QTest::newRow("Yes to the sale")
            << false << withSale << QList<int>{fw::mrYes, fw::mrYes} << QStringList{Cancel, CancelVenda} << saleCalls;
        QTest::newRow("Yes to the sale, consumer blank")
            << true << withSale << QList<int>{fw::mrYes, fw::mrYes} << QStringList{Cancel, CancelVenda} << saleCalls;
    }
    void cancellation()
    {
        QFETCH(bool, blankConsumer);
        QFETCH(QList<TestMovement>, reloaded);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, questions);
        QFETCH(QStringList, methods);
        loadOnMovement5();
        if (blankConsumer)
            s().edtConsumidor->clear();
        m_fixture->statement = reloaded;
        m_dialogs->answers = answers;
        cancelByMenu();
        QCOMPARE(m_dialogs->texts(), questions);
        for (const RecordingDialogs::Shown &shown : std::as_const(m_dialogs->shown)) {
            QCOMPARE(shown.type, fw::MsgDlgType::Confirmation);
            QCOMPARE(shown.buttons, fw::mbYes | fw::mbNo);
        }
        QCOMPARE(m_server->methods(), methods);
        QVERIFY(!fw::busyIndicatorVisible());
        if (methods.isEmpty()) {
            QCOMPARE(set().fieldByName("IDTIPMOCVLI").asString(), QStringLiteral("D"));
            return;
        }
        QCOMPARE(m_fixture->busyKinds(), QList<int>(methods.size(), 6));
        QCOMPARE(args("setCancelamento"),
                 (QCborArray{"X", "0007", fw::dateTimeToCbor(ScreenOnFakeServer::Moment), "Cancelado pelo operador.", C1,
                             "0000000005"}));
        QCOMPARE(dtDataMovto, When);
        const QString consumer = blankConsumer ? QString() : ScreenOnFakeServer::Typed42;
        QCOMPARE(args("setAtualizaCons").at(2).toString(), consumer);
        QCOMPARE(args("getMovCliente").at(0).toString(), consumer);
        QCOMPARE(args("getMovCliente").at(1).toString(), blankConsumer ? QStringLiteral("T") : QString());
        QCOMPARE(stNrSequMovi, QStringLiteral("0000000005"));
        QCOMPARE(set().recNo(), 2); // back on the cancelled movement
        QVERIFY(!s().mnuCancelamento->isEnabled()); // it can't be cancelled again
        QVERIFY(!s().edtCancelado->isHidden());
        QVERIFY(s().cbbTipo->isHidden());
        if (methods.contains("setCancelaVenda")) {
            QCborArray sale = args("setCancelaVenda");
            sale.removeFirst(); // the text
            QCOMPARE(sale, (QCborArray{"0001", "002", "0000000077"}));
            QCOMPARE(args("setCancelaReceb"), (QCborArray{"0001", "002", "0000000077"}));
        }
    }

    void theSaleTextNamesTheOperatorThenTheMoment()
    {
        fw::LoginContext context = fw::loginContext();
        context.operador = QStringLiteral("0001");
        fw::setLoginContext(context);
        loadOnMovement5(QStringLiteral("0000000077"));
        m_fixture->statement = {movement("X", "0000000077")};
        m_dialogs->answers = {fw::mrYes, fw::mrYes};
        cancelByMenu();
        QCOMPARE(args("setCancelaVenda").at(0).toString(),
                 QStringLiteral("A venda foi cancelada pelo operador -0001-ANA-07/12/2026 10:30:00"));
    }

    void aMovementTheReloadLostEndsWithoutTheSaleQuestion()
    {
        loadOnMovement5(QStringLiteral("0000000077"));
        m_fixture->statement = {{"0000000004", "C", 1.0, {}, {}, {}, {}, {}, When, "0000000099", "001"}};
        m_dialogs->answers = {fw::mrYes, fw::mrYes};
        cancelByMenu();
        QCOMPARE(m_dialogs->texts(), QStringList{Cancel});
        QCOMPARE(m_server->methods(), (QStringList{"setCancelamento", "setAtualizaCons", "getMovCliente"}));
    }

    void aFailureStopsWhereItHappens_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QStringList>("methods");
        QTest::addColumn<bool>("reloaded");
        const QStringList all{"setCancelamento", "setAtualizaCons", "getMovCliente", "setCancelaVenda", "setCancelaReceb"};
        QTest::newRow("setCancelamento") << "setCancelamento" << all.mid(0, 1) << false;
        QTest::newRow("setAtualizaCons") << "setAtualizaCons" << all.mid(0, 2) << false;
        QTest::newRow("getMovCliente") << "getMovCliente" << all.mid(0, 3) << false;
        QTest::newRow("setCancelaVenda") << "setCancelaVenda" << all.mid(0, 4) << true;
        QTest::newRow("setCancelaReceb") << "setCancelaReceb" << all << true;
    }
    void aFailureStopsWhereItHappens()
    {
        QFETCH(QString, failing);
        QFETCH(QStringList, methods);
        QFETCH(bool, reloaded);
        loadOnMovement5(QStringLiteral("0000000077"));
        m_fixture->statement = {movement("X", "0000000077")};
        const QString refusal = QStringLiteral("Banco indisponível; tente novamente.");
        m_server->answerFailure(failing, refusal);
        m_dialogs->answers = {fw::mrYes, fw::mrYes};
        cancelByMenu();
        QCOMPARE(m_server->methods(), methods);
        QCOMPARE(m_dialogs->texts().last(), refusal);
        QVERIFY(!fw::busyIndicatorVisible());
        QCOMPARE(dtDataMovto.isValid(), failing != "setCancelamento");
        // Without the reload the statement and the command stay as they were.
        QCOMPARE(set().fieldByName("IDTIPMOCVLI").asString(), reloaded ? QStringLiteral("X") : QStringLiteral("D"));
        QCOMPARE(s().mnuCancelamento->isEnabled(), !reloaded);
        QCOMPARE(set().fieldByName("NRSEQMOVCLI").asString(), QStringLiteral("0000000005"));
    }

    void verification_data()
    {
        QTest::addColumn<int>("consumers"); // 0 none in the consumer record set, 1 the one loaded
        QTest::addColumn<bool>("blankEdit");
        QTest::addColumn<bool>("recalculated");
        QTest::addColumn<QString>("recalculatedFor");
        QTest::addColumn<QString>("flag");
        QTest::newRow("consumer loaded") << 1 << false << true << ScreenOnFakeServer::Record42 << "";
        QTest::newRow("edit blank: the record's code, all consumers") << 1 << true << true << ScreenOnFakeServer::Record42 << "T";
        QTest::newRow("no consumer record") << 0 << true << true << "" << "T";
        QTest::newRow("recalculation answers false: still no message") << 1 << false << false << ScreenOnFakeServer::Record42 << "";
    }
    void verification()
    {
        QFETCH(int, consumers);
        QFETCH(bool, blankEdit);
        QFETCH(bool, recalculated);
        QFETCH(QString, recalculatedFor);
        QFETCH(QString, flag);
        loadOnMovement5();
        if (!consumers)
            s().cdsConsumidorFilial->loadFromPacket(consumersPacket(C1, {}));
        if (blankEdit)
            s().edtConsumidor->clear();
        m_server->answerOk("setAtualizaCons", recalculated);
        // The reload puts the movement elsewhere.
        m_fixture->statement = {movement("D"), {"0000000004", "C", 1.0}, {"0000000006", "D", 2.0}};
        m_fixture->key(Qt::Key_F5);
        QCOMPARE(m_server->methods(), (QStringList{"setAtualizaCons", "getMovCliente", "verificaHistorico"}));
        QCOMPARE(m_fixture->busyKinds(), (QList<int>{6, 6, 6}));
        const QCborArray recalc = args("setAtualizaCons");
        QCOMPARE(recalc, (QCborArray{"0001", C1, recalculatedFor, fw::dateTimeToCbor(ScreenOnFakeServer::Start), "0007"}));
        QCOMPARE(args("getMovCliente").at(1).toString(), flag);
        QVERIFY(m_dialogs->shown.isEmpty());
        QCOMPARE(set().recNo(), 0);
        QCOMPARE(set().fieldByName("NRSEQMOVCLI").asString(), QStringLiteral("0000000005"));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(s().dbgPadrao)); // arrows go on moving
    }

    // After the reload the account's history is checked on the server: an intact one is told in
    // the host's status bar without a dialog, a broken one stops the operator with what differs.
    void theHistoryIsCheckedAfterTheReload_data()
    {
        QTest::addColumn<bool>("intact");
        QTest::addColumn<QString>("difference");
        QTest::newRow("intact") << true << QString();
        QTest::newRow("broken") << false << "cliente " + C1 + ", lançamento 0000000005, campo VRMOVCLI: gravado 1001, a cadeia diz 1000";
    }
    void theHistoryIsCheckedAfterTheReload()
    {
        QFETCH(bool, intact);
        QFETCH(QString, difference);
        loadOnMovement5();
        QMainWindow host;
        const QPointer<QWidget> before = fw::hostServices().mainWindow;
        fw::hostServices().mainWindow = &host;
        m_server->answerOk("setAtualizaCons", true);
        m_server->answerOk("verificaHistorico", QCborMap{{"entradas", 7}, {"integro", intact},
                                                         {"diferenca", intact ? QCborValue(nullptr) : QCborValue(difference)}});
        m_fixture->key(Qt::Key_F5);
        fw::hostServices().mainWindow = before;
        QCOMPARE(args("verificaHistorico"), QCborArray{C1});
        if (intact) {
            QVERIFY(m_dialogs->shown.isEmpty());
            QCOMPARE(host.statusBar()->currentMessage(), QStringLiteral("Histórico da conta íntegro: 7 entradas verificadas."));
        } else {
            QCOMPARE(m_dialogs->texts().size(), 1);
            QVERIFY(m_dialogs->texts().first().contains(difference));
            QVERIFY(m_dialogs->texts().first().contains("chame o responsável pelo sistema"));
        }
    }

    void aReloadOverAPendingMovementAsksFirst_data()
    {
        QTest::addColumn<int>("keyPressed");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("F5, Não: nothing runs") << int(Qt::Key_F5) << int(fw::mrNo) << QStringList{};
        QTest::newRow("F5, Sim: discarded, then verified")
            << int(Qt::Key_F5) << int(fw::mrYes) << QStringList{"setAtualizaCons", "getMovCliente", "verificaHistorico"};
        QTest::newRow("cancellation, Não: nothing runs") << int(Qt::Key_M) << int(fw::mrNo) << QStringList{};
    }
    void aReloadOverAPendingMovementAsksFirst()
    {
        QFETCH(int, keyPressed);
        QFETCH(int, answer);
        QFETCH(QStringList, calls);
        loadOnMovement5();
        m_server->answerFailure("SetMovCliente", QStringLiteral("Sem conexão com o servidor."));
        m_fixture->key(Qt::Key_F2);
        s().cbbTipo->setCurrentIndex(0);
        s().cbbTipoValor->setCurrentIndex(0);
        s().ndeValPago->setText(QStringLiteral("10,00"));
        m_fixture->key(Qt::Key_F10);
        QVERIFY(!s().mnuCancelamento->isEnabled()); // the pending movement was never stored
        QVERIFY(set().locate("NRSEQMOVCLI", "0000000005"));
        QVERIFY(s().mnuCancelamento->isEnabled());
        m_server->calls.clear();
        m_dialogs->shown.clear();
        m_dialogs->answers = {answer};
        m_fixture->key(keyPressed, keyPressed == Qt::Key_M ? Qt::ControlModifier : Qt::NoModifier);
        QCOMPARE(m_dialogs->texts().value(0), QStringLiteral("Há alterações que não chegaram ao servidor. Descartá-las?"));
        QCOMPARE(m_server->methods(), calls);
        QCOMPARE(set().changeCount(), answer == fw::mrYes ? 0 : 1);
        QCOMPARE(set().fieldByName("NRSEQMOVCLI").asString(), QStringLiteral("0000000005"));
    }

    void theMovementReturnedToShowsWithItsNeighbours_data()
    {
        QTest::addColumn<int>("row"); // of the movement, in a statement of 60
        QTest::newRow("near the top") << 1;
        QTest::newRow("in the middle") << 30;
        QTest::newRow("the last") << 59;
    }
    void theMovementReturnedToShowsWithItsNeighbours()
    {
        QFETCH(int, row);
        QList<TestMovement> many;
        for (int i = 1; i <= 60; ++i)
            many.append({QStringLiteral("%1").arg(i, 10, 10, QLatin1Char('0')), "D", double(i)});
        QVERIFY(m_fixture->load(many));
        s().resize(900, 500);
        set().setRecNo(row);
        m_fixture->key(Qt::Key_F5);
        QCOMPARE(set().recNo(), row);
        const fw::TDBGrid &grid = *s().dbgPadrao;
        for (int around = std::max(0, row - 2); around <= std::min(59, row + 2); ++around) {
            QVERIFY2(grid.rowViewportPosition(around) >= 0, qPrintable(QString::number(around)));
            QVERIFY2(grid.rowViewportPosition(around) + grid.rowHeight(around) <= grid.viewport()->height(),
                     qPrintable(QString::number(around)));
        }
    }

    void aFailedVerificationKeepsTheStatement_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::newRow("setAtualizaCons") << "setAtualizaCons";
        QTest::newRow("getMovCliente") << "getMovCliente";
    }
    void aFailedVerificationKeepsTheStatement()
    {
        QFETCH(QString, failing);
        loadOnMovement5();
        m_server->answerFailure(failing, QStringLiteral("Banco indisponível; tente novamente."));
        m_fixture->statement = {};
        m_fixture->key(Qt::Key_F5);
        QCOMPARE(m_dialogs->texts(), QStringList{"Banco indisponível; tente novamente."});
        QVERIFY(!fw::busyIndicatorVisible());
        QCOMPARE(set().recordCount(), 3);
        QCOMPARE(set().recNo(), 1);
    }
};

QTEST_MAIN(TestCancellation)
#include "tst_cancellation.moc"
