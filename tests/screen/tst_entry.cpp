#include <framework/ui/busyindicator.h>
#include <framework/core/clock.h>
#include "acc00420module.h"
#include "screenonfakeserver.h"
#include "sharedclients.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace acc00420;

namespace {

const QString LancOk = QStringLiteral("Inclusão de lançamento realizada com sucesso.");
const QString LancNok = QStringLiteral("Atenção! Ocorreu um erro na inclusão do lançamento.");
const QDateTime Moment = ScreenOnFakeServer::Moment;
const QDateTime Start = ScreenOnFakeServer::Start;
const QString Typed42 = ScreenOnFakeServer::Typed42;
const QString Record42 = ScreenOnFakeServer::Record42;

} // namespace

// The manual entry driven by keys against a recording fake server: what is refused, what is
// sent, in which order, and what the screen shows after each outcome.
class TestEntry : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ScreenOnFakeServer> m_fixture;
    FakeAppServer *m_server = nullptr;
    RecordingDialogs *m_dialogs = nullptr;

    TfrmPagClie &s() { return m_fixture->screen(); }
    fw::RecordSet &set() { return m_fixture->set(); }
    QList<TestMovement> &statement() { return m_fixture->statement; }
    void key(int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { m_fixture->key(k, modifiers); }
    QString focusName() const { return m_fixture->focusName(); }
    fw::Delta sentDelta(int n = 0) const { return m_fixture->sentDelta(n); }
    void load(const QList<TestMovement> &movements) { QVERIFY(m_fixture->load(movements)); }
    void loadTwo() { load({{"0000000001", "D", 10.0}, {"0000000002", "C", 5.0}}); }

    // F2, then the choices and the value set as the operator left them.
    void include(int type, int valueType, const QString &value)
    {
        key(Qt::Key_F2);
        s().cbbTipo->setCurrentIndex(type);
        s().cbbTipoValor->setCurrentIndex(valueType);
        s().ndeValPago->setText(value);
    }

private slots:
    void initTestCase() { createSharedClients(m_dir.filePath("shared.db")); }

    void init()
    {
        boInsert = false;
        m_fixture = std::make_unique<ScreenOnFakeServer>();
        m_server = &m_fixture->server;
        m_dialogs = &m_fixture->dialogs;
    }
    void cleanup() { m_fixture.reset(); }

    void postingRefusesInOrder_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("valueType");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("nothing chosen") << -1 << -1 << "10,00" << "Tipo de Movto. deve ser informado." << "cbbTipo";
        QTest::newRow("no value type") << 0 << -1 << "10,00" << "Tipo Valor deve ser informado." << "cbbTipoValor";
        QTest::newRow("zero") << 1 << 0 << "0,00" << "Valor deve ser informado." << "ndeValPago";
        QTest::newRow("blank") << 1 << 0 << "" << "Valor deve ser informado." << "ndeValPago";
        QTest::newRow("negative, never left") << 0 << 0 << "-10,00" << "Valor deve ser maior que zero." << "ndeValPago";
        QTest::newRow("negative, nothing chosen") << -1 << -1 << "-10,00" << "Tipo de Movto. deve ser informado." << "cbbTipo";
    }
    void postingRefusesInOrder()
    {
        QFETCH(int, type);
        QFETCH(int, valueType);
        QFETCH(QString, value);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        loadTwo();
        include(type, valueType, value);
        s().ndeValPago->setFocus(); // confirmed from the value, as the operator types it last
        m_server->calls.clear();
        key(Qt::Key_F10);
        QCOMPARE(m_dialogs->texts(), QStringList{message});
        QCOMPARE(focusName(), focus);
        QCOMPARE(set().state(), fw::DataSetState::Insert);
        QVERIFY(m_server->calls.isEmpty());
        QVERIFY(set().fieldByName("CDFILIAL").isNull()); // nothing completed
        QCOMPARE(s().ndeValPago->text(), value);           // what was typed stays
    }

    void leavingTheValue_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("focus");
        QTest::newRow("zero passes") << "0" << QStringList{} << "dbmObservacao";
        QTest::newRow("below zero") << "-0,01" << QStringList{"Valor deve ser maior que zero."} << "ndeValPago";
        QTest::newRow("below zero, dropped with Esc") << "-5" << QStringList{} << "dbgPadrao";
    }
    void leavingTheValue()
    {
        QFETCH(QString, value);
        QFETCH(QStringList, messages);
        QFETCH(QString, focus);
        loadTwo();
        key(Qt::Key_F2);
        s().ndeValPago->setFocus();
        QTest::keyClicks(s().ndeValPago, value);
        key(focus == "dbgPadrao" ? Qt::Key_Escape : Qt::Key_Tab);
        QCOMPARE(m_dialogs->texts(), messages);
        QCOMPARE(focusName(), focus); // dropped: back in the list, nowhere an edit of the stored movement
    }

    void aNewMovementAsItIsSent_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("blankConsumer");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QVariant>("consumer");
        QTest::addColumn<QString>("recalculated");
        QTest::addColumn<QString>("flag");
        QTest::newRow("debit, consumer chosen") << 0 << false << "D" << QVariant(Record42) << Typed42 << "";
        QTest::newRow("credit, consumer blank") << 1 << true << "C" << QVariant() << "" << "T";
    }
    void aNewMovementAsItIsSent()
    {
        QFETCH(int, type);
        QFETCH(bool, blankConsumer);
        QFETCH(QString, code);
        QFETCH(QVariant, consumer);
        QFETCH(QString, recalculated);
        QFETCH(QString, flag);
        loadTwo();
        if (blankConsumer)
            s().edtConsumidor->clear();
        include(type, 0, QStringLiteral("10,00"));
        s().dbmObservacao->setFocus();
        QTest::keyClicks(s().dbmObservacao, QStringLiteral("Troco"));
        key(Qt::Key_F10);

        QCOMPARE(m_server->methods(), (QStringList{"getPrxMovClie", "SetMovCliente", "setAtualizaCons", "getMovCliente"}));
        QCOMPARE(m_fixture->busyKinds(), (QList<int>{6, 1, 6, 6}));
        QVERIFY(!fw::busyIndicatorVisible());
        QCOMPARE(m_server->calls[0].args, QCborArray{C1});

        const fw::Delta delta = sentDelta();
        QCOMPARE(delta.changes.size(), 1);
        QCOMPARE(delta.changes[0].op, fw::DeltaChange::Op::Insert);
        QCOMPARE(sentValue(delta, "NRSEQMOVCLI"), QVariant("0000000003"));
        QCOMPARE(sentValue(delta, "IDTIPMOCVLI"), QVariant(code));
        QCOMPARE(sentValue(delta, "VRMOVCLI"), QVariant(10.0)); // as typed, a debit too
        QCOMPARE(sentValue(delta, "VRMOVPESCONS"), QVariant(0.0));
        QCOMPARE(sentValue(delta, "CDCLIENTE"), QVariant(C1));
        QCOMPARE(sentValue(delta, "CDCONSUMIDOR"), consumer);
        QCOMPARE(sentValue(delta, "CDFILIAL"), QVariant("0001"));
        QCOMPARE(sentValue(delta, "DTMOVCLI"), QVariant(Moment));
        QCOMPARE(sentValue(delta, "CDCAIXA"), QVariant());
        QCOMPARE(sentValue(delta, "DTABERCAIX"), QVariant());
        QCOMPARE(sentValue(delta, "NRSEQVENDA"), QVariant());
        QCOMPARE(sentValue(delta, "CDOPERADOR"), QVariant("0007"));
        QCOMPARE(sentValue(delta, "DTATUMOVCLIE"), QVariant(Moment));
        QCOMPARE(sentValue(delta, "DSATUMOVCLIE"), QVariant("Inclusão de crédito/débito realizada pelo operador."));
        QCOMPARE(sentValue(delta, "DTMOVIMCLIE"), QVariant(QDateTime(Moment.date(), QTime(0, 0))));
        QCOMPARE(sentValue(delta, "DSHISTMOV"), QVariant("Troco"));
        QCOMPARE(sentValue(delta, "VRCONSUMID"), QVariant("(not sent)"));

        const QCborArray recalc = m_server->calls[2].args;
        QCOMPARE(recalc.at(0).toString(), QStringLiteral("0001"));
        QCOMPARE(recalc.at(1).toString(), C1);
        QCOMPARE(recalc.at(2).toString(), recalculated);
        QCOMPARE(fw::dateTimeFromCbor(recalc.at(3)), std::optional(Start));
        QCOMPARE(recalc.at(4).toString(), QStringLiteral("0007"));
        const QCborArray reload = m_server->calls[3].args;
        QCOMPARE(reload.at(0).toString(), recalculated);
        QCOMPARE(reload.at(1).toString(), flag);
        QCOMPARE(reload.at(2).toString(), C1);
        QCOMPARE(fw::dateTimeFromCbor(reload.at(3)), std::optional(Start));

        QCOMPARE(m_dialogs->texts(), QStringList{LancOk});
        QCOMPARE(m_dialogs->shown[0].type, fw::MsgDlgType::Information);
        QCOMPARE(m_dialogs->shown[0].buttons, fw::MsgDlgButtons(fw::mbOK));
        QVERIFY(boInsert);
        QCOMPARE(dtDataMovto, Moment);
        QCOMPARE(set().changeCount(), 0);
        QCOMPARE(set().state(), fw::DataSetState::Browse);
    }

    void theCursorAfterTheReload_data()
    {
        QTest::addColumn<QString>("number");   // what getPrxMovClie hands out
        QTest::addColumn<QString>("reloaded"); // that movement in the reloaded statement, if there
        QTest::addColumn<int>("position");
        QTest::newRow("on the new movement") << "0000000003" << "0000000003" << 1;
        QTest::newRow("found without regard to case") << "m3" << "M3" << 1;
        QTest::newRow("not in the statement") << "0000000003" << "" << 0;
    }
    void theCursorAfterTheReload()
    {
        QFETCH(QString, number);
        QFETCH(QString, reloaded);
        QFETCH(int, position);
        loadTwo();
        m_server->answerBare("getPrxMovClie", number);
        include(1, 0, QStringLiteral("7,50"));
        statement() = {{"0000000001", "D", 10.0}};
        if (!reloaded.isEmpty())
            statement().append({reloaded, "C", 7.5});
        statement().append({"0000000002", "C", 5.0});
        key(Qt::Key_F10);
        QCOMPARE(stNrSequMovi, number);
        QCOMPARE(set().recordCount(), statement().size());
        QCOMPARE(set().recNo(), position);
        QCOMPARE(s().dbeNumero->text(), statement().at(position).number);
    }

    void aFailureStopsWhereItHappens_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<bool>("refused"); // else the answer is false
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("pending");
        const QString down = QStringLiteral("Banco indisponível; tente novamente.");
        QTest::newRow("send refused") << "SetMovCliente" << true << QStringList{"SetMovCliente"} << QStringList{down} << 1;
        QTest::newRow("recalculation refused")
            << "setAtualizaCons" << true << QStringList{"SetMovCliente", "setAtualizaCons"} << QStringList{down} << 0;
        QTest::newRow("recalculation answers false")
            << "setAtualizaCons" << false << QStringList{"SetMovCliente", "setAtualizaCons", "getMovCliente"}
            << QStringList{LancNok} << 0;
        QTest::newRow("reload refused")
            << "getMovCliente" << true << QStringList{"SetMovCliente", "setAtualizaCons", "getMovCliente"}
            << QStringList{LancOk, down} << 0;
    }
    void aFailureStopsWhereItHappens()
    {
        QFETCH(QString, method);
        QFETCH(bool, refused);
        QFETCH(QStringList, calls);
        QFETCH(QStringList, messages);
        QFETCH(int, pending);
        loadTwo();
        include(0, 0, QStringLiteral("10,00"));
        statement().append({"0000000003", "D", 10.0});
        m_server->calls.clear();
        if (refused)
            m_server->answerFailure(method, QStringLiteral("Banco indisponível; tente novamente."));
        else
            m_server->answerOk(method, false);
        key(Qt::Key_F10);
        QCOMPARE(m_server->methods(), calls);
        QCOMPARE(m_dialogs->texts(), messages);
        if (!refused)
            QCOMPARE(m_dialogs->shown[0].type, fw::MsgDlgType::Error);
        QVERIFY(!fw::busyIndicatorVisible());
        QCOMPARE(set().changeCount(), pending);
        QCOMPARE(set().state(), fw::DataSetState::Browse);
        // The new movement is in view, the current one, whether it was reloaded or not.
        QCOMPARE(set().recordCount(), 3);
        QCOMPARE(set().fieldByName("NRSEQMOVCLI").asString(), QStringLiteral("0000000003"));
        QCOMPARE(set().fieldByName("VRMOVCLI").asFloat(), 10.0);
    }

    void aPendingChangeIsCarriedByTheNextSendOrDiscardedByEscOnlyAfterAsking_data()
    {
        QTest::addColumn<int>("keyPressed"); // on the next entry
        QTest::addColumn<int>("answer");     // to the question, when one is asked
        QTest::addColumn<int>("pendingLeft");
        QTest::newRow("F10 sends both") << int(Qt::Key_F10) << 0 << 0;
        QTest::newRow("Esc, Sim discards it") << int(Qt::Key_Escape) << int(fw::mrYes) << 0;
        QTest::newRow("Esc, Não keeps it") << int(Qt::Key_Escape) << int(fw::mrNo) << 1;
    }
    void aPendingChangeIsCarriedByTheNextSendOrDiscardedByEscOnlyAfterAsking()
    {
        QFETCH(int, keyPressed);
        QFETCH(int, answer);
        QFETCH(int, pendingLeft);
        loadTwo();
        m_server->answerFailure("SetMovCliente", QStringLiteral("Sem conexão com o servidor."));
        include(0, 0, QStringLiteral("10,00"));
        key(Qt::Key_F10);
        QCOMPARE(set().changeCount(), 1);
        // The list marks it: a movement that has no balance yet.
        auto *model = s().dbgPadrao->recordModel();
        const int posted = set().recNo();
        QCOMPARE(model->index(posted, 0).data(fw::RecordSetModel::PendingRole), QVariant(true));
        QVERIFY(!model->index(posted, 0).data(Qt::ToolTipRole).toString().isEmpty());
        QCOMPARE(model->index(posted == 0 ? 1 : 0, 0).data(fw::RecordSetModel::PendingRole), QVariant(false));
        m_server->answerOk("SetMovCliente");
        m_server->answerBare("getPrxMovClie", QStringLiteral("0000000004"));
        m_dialogs->shown.clear();
        m_dialogs->answers = {answer};
        include(1, 0, QStringLiteral("2,00"));
        key(keyPressed);
        QCOMPARE(set().changeCount(), pendingLeft);
        if (keyPressed == Qt::Key_F10) {
            const fw::Delta delta = sentDelta(1);
            QCOMPARE(delta.changes.size(), 2);
            QCOMPARE(sentValue(delta, "NRSEQMOVCLI", 0), QVariant("0000000003"));
            QCOMPARE(sentValue(delta, "NRSEQMOVCLI", 1), QVariant("0000000004"));
            return;
        }
        QCOMPARE(m_dialogs->texts(), QStringList{"Há alterações que não chegaram ao servidor. Descartá-las?"});
        QCOMPARE(sentDelta(1).changes.size(), 0);
        QCOMPARE(set().state(), fw::DataSetState::Browse);
        QCOMPARE(set().recordCount(), 2 + pendingLeft);
    }

    void closingWithAPendingChangeAsksFirst()
    {
        loadTwo();
        m_server->answerFailure("SetMovCliente", QStringLiteral("Sem conexão com o servidor."));
        include(0, 0, QStringLiteral("10,00"));
        key(Qt::Key_F10);
        m_dialogs->shown.clear();
        QVERIFY(!s().close()); // answered No
        QCOMPARE(m_dialogs->texts(),
                 QStringList{"Há alterações que não chegaram ao servidor. Fechar a tela e descartá-las?"});
        QVERIFY(s().isVisible());
        QCOMPARE(set().changeCount(), 1);
    }

    void aMovementWithoutANumberStaysOnScreen()
    {
        loadTwo();
        m_server->answer("getPrxMovClie", [](const fw::Request &r) {
            return fw::encodeErrorReply(r.id, "bad-arguments", "Cliente desconhecido.");
        });
        key(Qt::Key_F2);
        QCOMPARE(m_dialogs->shown.size(), 1);
        QVERIFY(m_dialogs->texts().first().contains("Cliente desconhecido."));
        QVERIFY(!fw::busyIndicatorVisible());
        QCOMPARE(set().state(), fw::DataSetState::Insert);
        QVERIFY(set().fieldByName("NRSEQMOVCLI").asString().isEmpty());
        QCOMPARE(s().activePage(), s().tshFormulario); // the entry is where the operator types it
        QCOMPARE(s().ndeValPago->text(), QStringLiteral("0,00")); // not the previous movement's
        QCOMPARE(s().edtData->text(), QStringLiteral("no ato da confirmação"));

        // The server refuses a movement without identity; what was typed stays, pending.
        const QString refusal = QStringLiteral("NRSEQMOVCLI: o lançamento não tem número.");
        m_server->answerFailure("SetMovCliente", refusal);
        s().cbbTipo->setCurrentIndex(0);
        s().cbbTipoValor->setCurrentIndex(0);
        s().ndeValPago->setText(QStringLiteral("10,00"));
        fw::setClock([] { return Moment.addSecs(300); }); // confirmed five minutes later
        key(Qt::Key_F10);
        QCOMPARE(m_dialogs->texts().last(), refusal);
        // The form shows the stamp the pending movement got, not the moment F2 was pressed.
        QCOMPARE(set().fieldByName("DTMOVCLI").asDateTime(), Moment.addSecs(300));
        QCOMPARE(s().edtData->text() + ' ' + s().edtHora->text(), QStringLiteral("07/12/2026 10:35:00"));
        QCOMPARE(set().changeCount(), 1);
        QCOMPARE(set().fieldByName("IDTIPMOCVLI").asString(), QStringLiteral("D"));
        QCOMPARE(set().fieldByName("VRMOVCLI").asFloat(), 10.0);
        QVERIFY(!m_server->methods().contains("setAtualizaCons"));
    }

    void editsAndDeletionsAreSentAndRecalculated_data()
    {
        QTest::addColumn<bool>("deletion");
        QTest::newRow("edited observation") << false;
        QTest::newRow("deletion") << true;
    }
    void editsAndDeletionsAreSentAndRecalculated()
    {
        QFETCH(bool, deletion);
        loadTwo();
        if (deletion) {
            set().deleteRecord(); // the screen offers no key for it: the third record button stays off
        } else {
            s().SetActivePage(s().tshFormulario);
            s().dbmObservacao->setFocus();
            QTest::keyClicks(s().dbmObservacao, QStringLiteral("Conferido"));
            QCOMPARE(set().state(), fw::DataSetState::Edit);
            key(Qt::Key_F10);
        }
        QCOMPARE(m_server->methods(), (QStringList{"SetMovCliente", "setAtualizaCons", "getMovCliente"}));
        const fw::Delta delta = sentDelta();
        QCOMPARE(delta.changes.size(), 1);
        QCOMPARE(delta.changes[0].op, deletion ? fw::DeltaChange::Op::Delete : fw::DeltaChange::Op::Modify);
        if (deletion)
            QCOMPARE(dtDataMovto, QDateTime(QDate(2026, 11, 20), QTime(10, 30)));
        else
            QCOMPARE(sentValue(delta, "DSHISTMOV"), QVariant("Conferido"));
        QCOMPARE(m_dialogs->texts(), QStringList{LancOk});
        QVERIFY(!boInsert);
    }

    void cancellingOnAnEmptyAccountLeavesOnlyInclude()
    {
        load({});
        key(Qt::Key_F2);
        QCOMPARE(set().state(), fw::DataSetState::Insert);
        key(Qt::Key_Escape);
        QCOMPARE(set().state(), fw::DataSetState::Browse);
        QVERIFY(set().isEmpty());
        QCOMPARE(s().activePage(), s().tshFolhaDados);
        QVERIFY(!s().pageEnabled(s().tshFolhaDados));
        QVERIFY(!s().pageEnabled(s().tshFormulario));
        QVERIFY(!s().mnuFolhaDados->isEnabled());
        QVERIFY(!s().mnuFormulario->isEnabled());
        QVERIFY(s().sbtIncluir->isEnabled());
        QVERIFY(s().mnuIncluir->isEnabled());
        for (QToolButton *b : {s().secondRecordButton(), s().thirdRecordButton()}) {
            QVERIFY(!b->isEnabled());
            QVERIFY(!s().twinOf(b)->isEnabled());
        }
        QVERIFY(!s().btfCancelamento->isEnabled());
        QVERIFY(!s().mnuCancelamento->isEnabled());
        QVERIFY(m_dialogs->shown.isEmpty());
    }

    void theControlsFollowTheState_data()
    {
        QTest::addColumn<int>("end"); // 0 typing, 1 confirmed, 2 cancelled
        QTest::newRow("typing") << 0;
        QTest::newRow("confirmed") << 1;
        QTest::newRow("cancelled") << 2;
    }
    void theControlsFollowTheState()
    {
        QFETCH(int, end);
        loadTwo();
        statement().append({"0000000003", "C", 10.0});
        include(1, 0, QStringLiteral("10,00"));
        if (end == 1)
            key(Qt::Key_F10);
        if (end == 2)
            key(Qt::Key_Escape);
        const bool typing = end == 0;
        QCOMPARE(set().state(), typing ? fw::DataSetState::Insert : fw::DataSetState::Browse);
        QCOMPARE(s().panCliente->isEnabled(), !typing);
        QCOMPARE(s().medCdCliente->isEnabled(), !typing);
        QCOMPARE(s().edtConsumidor->isEnabled(), !typing);
        QVERIFY(!s().edtNmCliente->isEnabled());
        QVERIFY(!s().edtNmConsum->isEnabled());
        QCOMPARE(s().pageEnabled(s().tshFolhaDados), !typing);
        QCOMPARE(s().btfCancelamento->isEnabled(), !typing);
        QCOMPARE(s().mnuCancelamento->isEnabled(), !typing);
        QCOMPARE(s().mnuIncluir->isEnabled(), s().sbtIncluir->isEnabled());
        QVERIFY(!s().mnuConfigImpressora->isEnabled());
        const QColor colour = QApplication::palette().color(typing ? QPalette::ToolTipBase : QPalette::Button);
        for (QWidget *entry : {static_cast<QWidget *>(s().ndeValPago), static_cast<QWidget *>(s().cbbTipo),
                               static_cast<QWidget *>(s().cbbTipoValor)}) {
            QCOMPARE(entry->isEnabled(), typing);
            QCOMPARE(entry->palette().color(entry->backgroundRole()), colour);
        }
        if (typing)
            QCOMPARE(s().activePage(), s().tshFormulario);
    }

    void theWholeEntryByKeyboard()
    {
        loadTwo();
        statement().append({"0000000003", "C", 12.5});
        key(Qt::Key_F2);
        QCOMPARE(focusName(), QStringLiteral("cbbTipo"));
        QCOMPARE(s().cbbTipo->currentIndex(), -1);
        QCOMPARE(s().cbbTipoValor->currentIndex(), -1);
        QCOMPARE(s().edtData->text(), QStringLiteral("no ato da confirmação"));
        QCOMPARE(s().edtHora->text(), QString());
        QCOMPARE(s().dbeNumero->text(), QStringLiteral("0000000003"));
        QCOMPARE(s().ndeValPago->text(), QStringLiteral("0,00"));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("C"));
        key(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("cbbTipoValor"));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("E"));
        key(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("ndeValPago"));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("12,50"));
        key(Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("dbmObservacao"));
        QTest::keyClicks(QApplication::focusWidget(), QString(90, u'x')); // the memo stops at 80
        key(Qt::Key_F10);
        QVERIFY2(m_dialogs->texts() == QStringList{LancOk}, qPrintable(m_dialogs->texts().join('\n')));
        const fw::Delta delta = sentDelta();
        QCOMPARE(sentValue(delta, "IDTIPMOCVLI"), QVariant("C"));
        QCOMPARE(sentValue(delta, "VRMOVCLI"), QVariant(12.5));
        QCOMPARE(sentValue(delta, "DSHISTMOV"), QVariant(QString(80, u'x')));
        QCOMPARE(set().fieldByName("NRSEQMOVCLI").asString(), QStringLiteral("0000000003"));
        // The list again, the focus in the grid on the new movement: the arrows move at once.
        QCOMPARE(s().activePage(), s().tshFolhaDados);
        QCOMPARE(focusName(), QStringLiteral("dbgPadrao"));
        QCOMPARE(s().dbgPadrao->currentIndex().row(), set().recNo());
        // A stray key after the dialog changes no stored movement.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("q"));
        QCOMPARE(set().state(), fw::DataSetState::Browse);

        // F2 again, and Esc drops it.
        m_server->calls.clear();
        key(Qt::Key_F2);
        QCOMPARE(set().recordCount(), 4);
        key(Qt::Key_Escape);
        QCOMPARE(set().state(), fw::DataSetState::Browse);
        QCOMPARE(set().recordCount(), 3);
        QCOMPARE(m_server->methods(), QStringList{"getPrxMovClie"});
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("q"));
        QCOMPARE(set().state(), fw::DataSetState::Browse);
    }
};

QTEST_MAIN(TestEntry)
#include "tst_entry.moc"
