#include <framework/ui/dateeditplus.h>
#include "acc00420module.h"
#include "fakeappserver.h"
#include <framework/ui/frmpadrao.h>
#include <framework/ui/hostservices.h>
#include <framework/core/logincontext.h>
#include <framework/ui/maskedit.h>
#include <framework/data/netconnection.h>
#include "recordingdialogs.h"

#include <QLibrary>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

using namespace fw;

// The module as the host uses it: loaded with QLibrary, entered through IniProc.
class TestModule : public QObject
{
    Q_OBJECT

    QLibrary m_module{QStringLiteral(PKG_ACC00420_PATH)};
    QMainWindow *m_main = nullptr;
    QMdiArea *m_area = nullptr;
    void (*m_iniProc)() = nullptr;
    QPointer<TfrmPadrao> *m_screen = nullptr;
    bool *m_created = nullptr;

    void pointAt(quint16 port)
    {
        LoginContext context = loginContext();
        context.webUrl = QStringLiteral("127.0.0.1");
        context.webPort = port;
        context.serverTls = false; // the stand-in server speaks plain TCP
        setLoginContext(context);
    }

    TfrmPadrao *screen() const { return m_screen->data(); }
    QMdiSubWindow *window() const { return qobject_cast<QMdiSubWindow *>(screen()->parentWidget()); }

    void closeScreen()
    {
        if (!screen())
            return;
        screen()->close();
        QTRY_VERIFY(m_screen->isNull());
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_module.load(), qPrintable(m_module.errorString()));
        m_iniProc = reinterpret_cast<decltype(&IniProc)>(m_module.resolve("IniProc"));
        QVERIFY(m_iniProc);
        QVERIFY(m_module.resolve("CriaPagClie"));
        for (const char *name : {"boInsert", "stNrSequMovi", "dtDataMovto", "stTCDCONSUMIDOR", "stCDCONSUMIDOR"})
            QVERIFY2(m_module.resolve(name), name);
        m_screen = reinterpret_cast<decltype(&frmPagClie)>(m_module.resolve("frmPagClie"));
        m_created = reinterpret_cast<decltype(&boStCriado)>(m_module.resolve("boStCriado"));
        QVERIFY(m_screen && m_created);
        QVERIFY(!*m_created); // loading the module creates no screen
        m_main = new QMainWindow;
        m_area = new QMdiArea(m_main);
        m_main->setCentralWidget(m_area);
        m_main->resize(1000, 700);
        m_main->show();
        QApplication::setActiveWindow(m_main);
        QVERIFY(QTest::qWaitForWindowActive(m_main));
        hostServices().mainWindow = m_main;
        hostServices().mdiArea = m_area;
    }
    void cleanup() { closeScreen(); }
    void cleanupTestCase() { delete m_main; }

    void iniProcTwiceShowsOneScreenInNormalSize()
    {
        FakeAppServer server;
        pointAt(server.port());
        m_iniProc();
        QVERIFY(*m_created);
        QCOMPARE(m_area->subWindowList().size(), 1);
        TfrmPadrao *first = screen();
        window()->showMinimized();
        QVERIFY(window()->isMinimized());
        m_iniProc();
        QCOMPARE(m_area->subWindowList().size(), 1);
        QCOMPARE(screen(), first);
        QVERIFY(!window()->isMinimized());
        QVERIFY(!window()->isMaximized());
    }

    void theScreenAsDefined()
    {
        FakeAppServer server;
        pointAt(server.port());
        m_iniProc();
        TfrmPadrao *s = screen();
        QCOMPARE(s->windowTitle(), QStringLiteral("Manutenção Conta Cliente/Consumidor"));
        QCOMPARE(s->lblCodTela->text(), QStringLiteral("Acc00420"));
        for (const char *name : {"btfCancelamento", "btfPgtoClie"}) {
            auto *b = s->findChild<QToolButton *>(QLatin1String(name));
            QVERIFY2(b && !b->isEnabled() && !b->isVisibleTo(s), name);
        }
        QCOMPARE(s->findChild<QToolButton *>("btfCancelamento")->toolTip(), QStringLiteral("Cancela Lançamento"));
        QCOMPARE(s->findChild<QToolButton *>("btfPgtoClie")->toolTip(), QStringLiteral("Pagamento de Cliente"));
        QVERIFY(!s->sbtImprimir->isEnabled());
        const QList<QAction *> maintenance = s->mnuManutencao->actions();
        auto *cancel = s->findChild<QAction *>("mnuCancelamento");
        QCOMPARE(cancel->text(), QStringLiteral("Cancela Lança&mento"));
        const auto at = maintenance.indexOf(cancel);
        QVERIFY(at > 0 && maintenance[at - 1]->isSeparator() && maintenance[at - 1]->objectName() == "N1");
        QVERIFY(!s->findChild<QWidget *>("grbSubsidio")->isVisibleTo(s));
        auto *client = s->findChild<TMaskEdit *>("medCdCliente");
        QCOMPARE(client->maxLength(), 21);
        QCOMPARE(client->focusPolicy() & Qt::TabFocus, 0);
        QVERIFY(!s->findChild<QLineEdit *>("edtNmCliente")->isEnabled());
        QVERIFY(!s->findChild<QLineEdit *>("edtNmConsum")->isEnabled());
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(client));
        auto *connection = s->findChild<TNetConnection *>("netPagClie");
        QCOMPARE(connection->serverName(), QStringLiteral("Acc00420.rdmPagClie"));
        QVERIFY(!connection->throwException());
        for (const char *name : {"panCliente", "btnCliente", "edtConsumidor", "btnConsumidor", "depDe", "qryCliente",
                                 "qryPesqCliente", "dtsCliente", "cdsConsumidorFilial", "dtsConsumidorFilial",
                                 "cdsMovCliente", "ndeValPago", "cbbTipo", "cbbTipoValor", "edtCancelado",
                                 "dbmObservacao", "rpddPadrao", "msgPadrao", "panDados", "Panel1"})
            QVERIFY2(s->findChild<QObject *>(QLatin1String(name)), name);
    }

    void afterClosingANewScreenStartsAfresh()
    {
        FakeAppServer server;
        pointAt(server.port());
        m_iniProc();
        screen()->findChild<TDateEditPlus *>("depDe")->SetDate(QDate(2020, 1, 1));
        closeScreen();
        QVERIFY(!*m_created);
        QVERIFY(m_screen->isNull()); // no dangling reference
        QTRY_COMPARE(m_area->subWindowList().size(), 0);
        m_iniProc();
        QVERIFY(*m_created);
        QCOMPARE(screen()->findChild<TDateEditPlus *>("depDe")->GetDate(), QDate::currentDate().addDays(-60));
    }

    void activationDisablesTheCancellation()
    {
        FakeAppServer server;
        pointAt(server.port());
        m_iniProc();
        QMdiSubWindow *own = window();
        QMdiSubWindow *other = m_area->addSubWindow(new QWidget);
        other->show();
        auto *button = screen()->findChild<QToolButton *>("btfCancelamento");
        auto *item = screen()->findChild<QAction *>("mnuCancelamento");
        button->setEnabled(true);
        item->setEnabled(true);
        screen()->sbtIncluir->setEnabled(true);
        m_area->setActiveSubWindow(other);
        m_area->setActiveSubWindow(own);
        QVERIFY(!button->isEnabled());
        QVERIFY(!item->isEnabled());
        QCOMPARE(screen()->twinOf(screen()->sbtIncluir)->isEnabled(), true);
        QVERIFY(!screen()->furtherMenuItem()->isEnabled());
        delete other;
    }

    void aNewHostPortOrTimeoutCountsAtTheNextConnect()
    {
        FakeAppServer first, second;
        pointAt(first.port());
        m_iniProc();
        auto *connection = screen()->findChild<TNetConnection *>("netPagClie");
        QVERIFY(connection->connected()); // opened at creation
        pointAt(second.port());
        LoginContext context = loginContext();
        const int timeout = context.serverTimeoutMs;
        context.serverTimeoutMs = 4000;
        setLoginContext(context);
        connection->call("getPrxMovClie", {"C"});
        QCOMPARE(first.calls.size(), 1); // still the first connection
        connection->close();
        connection->call("getPrxMovClie", {"C"});
        QCOMPARE(second.calls.size(), 1);
        QCOMPARE(connection->timeoutMs(), 4000);
        context.serverTimeoutMs = timeout;
        setLoginContext(context);
    }

    void aServerDownAtCreationFailsOnlyTheFirstCall()
    {
        RecordingDialogs dialogs;
        quint16 closed;
        {
            FakeAppServer gone;
            closed = gone.port();
        }
        pointAt(closed);
        m_iniProc();
        QVERIFY(*m_created);
        QVERIFY(screen()->isVisible());
        QVERIFY(dialogs.shown.isEmpty()); // nothing raised at creation
        auto *connection = screen()->findChild<TNetConnection *>("netPagClie");
        QVERIFY(!connection->connected());
        QVERIFY_THROWS_EXCEPTION(ServerCallError, connection->call("getPrxMovClie", {"C"}));
        QVERIFY(screen());
    }

    void everyMessageOfTheTable_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        const QList<std::pair<const char *, const char *>> table = {
            {"n_troco", "Não emite troco."},
            {"Rece_Inf", "Tipo de recebimento deve ser informado."},
            {"Rec_NCad", "Tipo de recebimento não cadastrado."},
            {"VALOR_INV", "Valor deve ser maior que zero."},
            {"Valor_Inf", "Valor deve ser informado."},
            {"sucesso", "Manutenção realizada com sucesso."},
            {"lanc_inv", "O valor do lançamento deve ser maior que zero."},
            {"Débito", "Débito"},
            {"Crédito", "Crédito"},
            {"Clie_Inf", "Cliente deve ser informado."},
            {"Cons_Inf", "Consumidor deve ser informado."},
            {"Cod_NCad", "Cliente não cadastrado."},
            {"CONS_NCAD", "Consumidor não cadastrado."},
            {"exc_pag", "Exclusão do pagamento do cliente."},
            {"Pag_Cont_Cli", "Pagamento de conta do cliente."},
            {"troco_clie", "Troco do pagamento do cliente."},
            {"CAIXA_NULO", "Pagamento não pode ser efetuado. Operador não possui caixa aberto."},
            {"Cancel", "Confirma cancelamento ?"},
            {"atualiza", "Inclusão de crédito/débito realizada pelo operador."},
            {"cancelado", "Cancelado pelo operador."},
            {"Tipo_Inf", "Tipo de Movto. deve ser informado."},
            {"Tipo_Valor", "Tipo Valor deve ser informado."},
            {"DataI_inf", "Data inicial deve ser informada."},
            {"DataF_inf", "Data final deve ser informada."},
            {"Data_Menor", "Data inicial deve ser menor que data final."},
            {"CONS_DEVE", "Consumidor deve ser informado."},
            {"cancela", "A venda foi cancelada pelo operador "},
            {"CancelVenda", "Confirma cancelamento da venda?"},
            {"LANC_OK", "Inclusão de lançamento realizada com sucesso."},
            {"LANC_NOK", "Atenção! Ocorreu um erro na inclusão do lançamento."},
        };
        for (const auto &[key, text] : table)
            QTest::newRow(key) << QString::fromUtf8(key) << QString::fromUtf8(text);
    }
    void everyMessageOfTheTable()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        FakeAppServer server;
        pointAt(server.port());
        if (!screen())
            m_iniProc();
        QCOMPARE(screen()->msgPadrao->Msg(key), text);
        QCOMPARE(screen()->msgPadrao->keys().size(), 30);
    }
};

QTEST_MAIN(TestModule)
#include "tst_module.moc"
