// The screen's definition: every component, its name, caption, hint and initial state.

#include <framework/data/datapacket.h>
#include "movementfields.h"
#include "screen.h"

#include <framework/data/serversession.h>

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

namespace acc00420 {
namespace {

template<typename T>
T *named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

fw::TDBEdit *boundEdit(QWidget *parent, const char *name, fw::DataSource *source, const char *field)
{
    auto *edit = named(new fw::TDBEdit(parent), name);
    edit->setDataSource(source);
    edit->setDataField(QLatin1String(field));
    edit->setReadOnly(true);
    return edit;
}

QLabel *caption(const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

} // namespace

void TfrmPagClie::buildSelectionPanel()
{
    panCliente = named(new QFrame(this), "panCliente");
    panCliente->setFrameShape(QFrame::StyledPanel);
    medCdCliente = named(new fw::TMaskEdit(panCliente), "medCdCliente");
    medCdCliente->setMaxLength(21);
    medCdCliente->setFocusPolicy(Qt::ClickFocus); // not a tab stop
    btnCliente = named(new fw::TBtnPesquisa(panCliente), "btnCliente");
    btnCliente->setAssociate(medCdCliente);
    btnCliente->setTitle(QStringLiteral("Cliente"));
    btnCliente->setEmptyError(QStringLiteral("Não há cliente cadastrado."));
    edtNmCliente = named(new QLineEdit(panCliente), "edtNmCliente");
    edtNmCliente->setEnabled(false);
    edtNmCliente->setReadOnly(true);
    edtConsumidor = named(new QLineEdit(panCliente), "edtConsumidor");
    edtConsumidor->setMaxLength(21);
    btnConsumidor = named(new fw::TBtnPesquisa(panCliente), "btnConsumidor");
    btnConsumidor->setAssociate(edtConsumidor);
    btnConsumidor->setTitle(QStringLiteral("Consumidor"));
    btnConsumidor->setEmptyError(QStringLiteral("Não há consumidor cadastrado."));
    edtNmConsum = named(new QLineEdit(panCliente), "edtNmConsum");
    edtNmConsum->setEnabled(false);
    edtNmConsum->setReadOnly(true);
    depDe = named(new fw::TDateEditPlus(panCliente), "depDe");
    // The names are display only, disabled, yet read as plainly as what is typed.
    for (QLineEdit *name : {edtNmCliente, edtNmConsum}) {
        QPalette palette = name->palette();
        palette.setColor(QPalette::Disabled, QPalette::Text, palette.color(QPalette::Active, QPalette::Text));
        name->setPalette(palette);
    }

    auto *grid = new QGridLayout(panCliente);
    grid->addWidget(caption(QStringLiteral("Clie&nte"), medCdCliente), 0, 0);
    grid->addWidget(medCdCliente, 0, 1);
    grid->addWidget(btnCliente, 0, 2);
    grid->addWidget(edtNmCliente, 0, 3);
    grid->addWidget(caption(QStringLiteral("C&onsumidor"), edtConsumidor), 1, 0);
    grid->addWidget(edtConsumidor, 1, 1);
    grid->addWidget(btnConsumidor, 1, 2);
    grid->addWidget(edtNmConsum, 1, 3);
    grid->addWidget(caption(QStringLiteral("&Início"), depDe->edit()), 0, 4);
    grid->addWidget(depDe, 0, 5);
    grid->setColumnStretch(3, 1);
    medCdCliente->setMinimumWidth(190);
    edtConsumidor->setMinimumWidth(190);
    static_cast<QVBoxLayout *>(layout())->insertWidget(1, panCliente);
    setTabOrder(edtConsumidor, depDe->edit());
}

void TfrmPagClie::buildData()
{
    cdsMovCliente = named(new fw::RecordSet(this), "cdsMovCliente");
    defineMovementFields(*cdsMovCliente);
    dtsPadrao->setDataSet(cdsMovCliente);

    qryCliente = named(new fw::TADOIBQuery(this), "qryCliente");
    qryCliente->addField({QStringLiteral("NRINSJURCLIE"), fw::FieldType::String, 20, QStringLiteral("Inscrição")});
    qryCliente->addField({QStringLiteral("CDCLIENTE"), fw::FieldType::String, 21, {}, {}, {}, false});
    qryCliente->addField({QStringLiteral("IDTPIJURCLIE"), fw::FieldType::String, 1, {}, {}, {}, false});
    qryCliente->addField({QStringLiteral("NMFANTCLIE"), fw::FieldType::String, 50, QStringLiteral("Nome")});
    qryCliente->setSql(QStringLiteral("SELECT CF.CDCLIENTE, CL.NRINSJURCLIE, CL.IDTPIJURCLIE, CL.NMFANTCLIE\n"
                                      "  FROM CLIENTE CL, CLIENFILIAL CF\n"
                                      " WHERE (CF.CDFILIAL  = :P_CDFILIAL)\n"
                                      "   AND (CF.CDCLIENTE = CL.CDCLIENTE)\n"
                                      "   AND ((CL.NRINSJURCLIE = :P_NRINSJURCLIE) OR (:P_TNRINSJURCLIE = 'T'))\n"
                                      " ORDER BY CF.CDCLIENTE "));
    dtsCliente = named(new fw::DataSource(this), "dtsCliente");
    dtsCliente->setDataSet(qryCliente);
    btnCliente->setDataSource(dtsCliente);

    qryPesqCliente = named(new fw::TADOIBQuery(this), "qryPesqCliente");
    qryPesqCliente->addField({QStringLiteral("CDCLIENTE"), fw::FieldType::String, 21});
    qryPesqCliente->setSql(QStringLiteral("SELECT\n   CDCLIENTE\nFROM\n   CLIENTE\nWHERE\n   (CDCLIENTE = :P_CDCLIENTE)"));

    cdsConsumidorFilial = named(new fw::RecordSet(this), "cdsConsumidorFilial");
    cdsConsumidorFilial->addField({QStringLiteral("CDCONSUMIDOR"), fw::FieldType::String, 21, QStringLiteral("Código")});
    cdsConsumidorFilial->addField({QStringLiteral("NMCONSUMIDOR"), fw::FieldType::String, 50, QStringLiteral("Nome")});
    cdsConsumidorFilial->addField({QStringLiteral("CDCLIENTE"), fw::FieldType::String, 21, {}, {}, {}, false});
    dtsConsumidorFilial = named(new fw::DataSource(this), "dtsConsumidorFilial");
    dtsConsumidorFilial->setDataSet(cdsConsumidorFilial);
    btnConsumidor->setDataSource(dtsConsumidorFilial);

    dbgPadrao->setColumns({
        {QStringLiteral("TIPO"), {}, 28},
        {QStringLiteral("DTMOVCLI"), {}, 119},
        {QStringLiteral("VRMOVPESCONS"), {}, -1, false},
        {QStringLiteral("VRSALDPECONS"), {}, -1, false},
        {QStringLiteral("VRMOVCLI"), {}, 78},
        {QStringLiteral("VRSALDOCONS"), {}, 80},
        {QStringLiteral("CDFILIAL"), QStringLiteral("Filial"), 35},
        {QStringLiteral("CDCAIXA"), QStringLiteral("Caixa"), 36},
        {QStringLiteral("NRSEQVENDA"), QStringLiteral("Venda"), 77},
        {QStringLiteral("IDTIPMOCVLI"), {}, 91},
        {QStringLiteral("VRPESUBSIDIO"), {}, -1, false},
        {QStringLiteral("VRTETOSUBSID"), {}, -1, false},
        {QStringLiteral("VRCONSUMID"), {}, -1, false},
        {QStringLiteral("VRPATROCINA"), {}, -1, false},
    });
}

void TfrmPagClie::buildFormPage()
{
    panDados = named(new QFrame(tshFormulario), "panDados");
    dbeNumero = boundEdit(panDados, "dbeNumero", dtsPadrao, "NRSEQMOVCLI");
    edtData = named(new QLineEdit(panDados), "edtData");
    edtData->setReadOnly(true);
    edtHora = named(new QLineEdit(panDados), "edtHora");
    edtHora->setReadOnly(true);
    cbbTipo = named(new QComboBox(panDados), "cbbTipo");
    cbbTipo->addItems({msgPadrao->Msg(QStringLiteral("Débito")), msgPadrao->Msg(QStringLiteral("Crédito"))});
    edtCancelado = named(new QLineEdit(QStringLiteral("Cancelado"), panDados), "edtCancelado");
    edtCancelado->setReadOnly(true);
    edtCancelado->hide();
    cbbTipoValor = named(new QComboBox(panDados), "cbbTipoValor");
    cbbTipoValor->addItem(QStringLiteral("Empresa"));
    ndeValPago = named(new fw::TNumberEdit(panDados), "ndeValPago");
    ndeValPago->setDecimals(2);
    for (QWidget *entry : {static_cast<QWidget *>(cbbTipo), static_cast<QWidget *>(cbbTipoValor),
                           static_cast<QWidget *>(ndeValPago)})
        entry->setEnabled(false);
    auto *observacao = named(new QGroupBox(QStringLiteral("Observação"), panDados), "grbObservacao");
    dbmObservacao = named(new fw::TDBMemo(observacao), "dbmObservacao");
    dbmObservacao->setDataSource(dtsPadrao);
    dbmObservacao->setDataField(QStringLiteral("DSHISTMOV"));
    dbmObservacao->setTabChangesFocus(true);
    (new QVBoxLayout(observacao))->addWidget(dbmObservacao);

    auto *when = new QHBoxLayout;
    when->addWidget(edtData);
    when->addWidget(edtHora);
    auto *type = new QGridLayout;
    type->addWidget(cbbTipo, 0, 0);
    type->addWidget(edtCancelado, 0, 0); // in the same place: one or the other shows
    auto *left = new QFormLayout(panDados);
    left->addRow(caption(QStringLiteral("Número"), dbeNumero), dbeNumero);
    left->addRow(caption(QStringLiteral("Data/Hora"), edtData), when);
    left->addRow(caption(QStringLiteral("&Tipo Movto."), cbbTipo), type);
    left->addRow(caption(QStringLiteral("Tipo &Valor"), cbbTipoValor), cbbTipoValor);
    left->addRow(caption(QStringLiteral("V&alor"), ndeValPago), ndeValPago);
    left->addRow(observacao);

    Panel1 = named(new QFrame(tshFormulario), "Panel1");
    auto *maintenance = named(new QGroupBox(QStringLiteral("Dados Manutenção/Ajuste Saldo"), Panel1), "grbManutencao");
    dbeDataAtu = boundEdit(maintenance, "dbeDataAtu", dtsPadrao, "DTATUMOVCLIE");
    dbeNmOperador = boundEdit(maintenance, "dbeNmOperador", dtsPadrao, "NMOPERADOR");
    dbeDsAtuMovClie = named(new fw::TDBMemo(maintenance), "dbeDsAtuMovClie");
    dbeDsAtuMovClie->setDataSource(dtsPadrao);
    dbeDsAtuMovClie->setDataField(QStringLiteral("DSATUMOVCLIE"));
    dbeDsAtuMovClie->setReadOnly(true);
    auto *maintenanceForm = new QFormLayout(maintenance);
    maintenanceForm->addRow(QStringLiteral("Data"), dbeDataAtu);
    maintenanceForm->addRow(QStringLiteral("Operador"), dbeNmOperador);
    maintenanceForm->addRow(dbeDsAtuMovClie);
    auto *recalculation = named(new QGroupBox(QStringLiteral("Dados Recálculo Saldo"), Panel1), "grbRecalculo");
    dbeDtRecMovClie = boundEdit(recalculation, "dbeDtRecMovClie", dtsPadrao, "DTRECMOVCLIE");
    dbeOpeReca = boundEdit(recalculation, "dbeOpeReca", dtsPadrao, "OPERARECA");
    auto *recalculationForm = new QFormLayout(recalculation);
    recalculationForm->addRow(QStringLiteral("Data"), dbeDtRecMovClie);
    recalculationForm->addRow(QStringLiteral("Operador"), dbeOpeReca);
    grbSubsidio = named(new QGroupBox(QStringLiteral("Dados Subsídio"), Panel1), "grbSubsidio");
    dbeVrSubs = boundEdit(grbSubsidio, "dbeVrSubs", dtsPadrao, "VRPESUBSIDIO");
    dbeTetoSubs = boundEdit(grbSubsidio, "dbeTetoSubs", dtsPadrao, "VRTETOSUBSID");
    auto *subsidyForm = new QFormLayout(grbSubsidio);
    subsidyForm->addRow(QStringLiteral("Percentual"), dbeVrSubs);
    subsidyForm->addRow(QStringLiteral("Teto"), dbeTetoSubs);
    grbSubsidio->hide();
    auto *right = new QVBoxLayout(Panel1);
    right->addWidget(maintenance);
    right->addWidget(recalculation);
    right->addWidget(grbSubsidio);
    right->addStretch();

    auto *page = new QHBoxLayout(tshFormulario);
    page->addWidget(panDados, 1);
    page->addWidget(Panel1, 1);
}

void TfrmPagClie::buildToolbarAdditions()
{
    btfCancelamento = named(new fw::TButtonFlat(panMenu), "btfCancelamento");
    btfCancelamento->setHint(QStringLiteral("Cancela Lançamento"));
    btfCancelamento->setText(QStringLiteral("Cancelar lançamento"));
    btfPgtoClie = named(new fw::TButtonFlat(panMenu), "btfPgtoClie");
    btfPgtoClie->setHint(QStringLiteral("Pagamento de Cliente"));
    btfPgtoClie->setText(QStringLiteral("Pagamento"));
    for (fw::TButtonFlat *b : {btfCancelamento, btfPgtoClie}) {
        b->setEnabled(false);
        b->setVisible(false);
        static_cast<QHBoxLayout *>(panMenu->layout())->insertWidget(panMenu->layout()->count() - 2, b);
    }
    connect(btfPgtoClie, &QToolButton::clicked, this, [this] { btfPgtoClieClick(); });
    N1 = mnuManutencao->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    mnuCancelamento = mnuManutencao->addAction(QStringLiteral("Cancela Lança&mento"));
    mnuCancelamento->setObjectName(QStringLiteral("mnuCancelamento"));
    mnuCancelamento->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    mnuCancelamento->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(mnuCancelamento);
    sbtImprimir->setEnabled(false);
}

void TfrmPagClie::buildConnectionAndReports()
{
    netPagClie = named(new fw::TNetConnection(this), "netPagClie");
    netPagClie->setServerName(QLatin1String(AccountService::ObjectName));
    netPagClie->setThrowException(false);
    netPagClie->onBeforeConnect = [this](fw::TNetConnection &c) { netPagClieBeforeConnect(c); };
    // The operator's session, resumed whenever this connection opens.
    netPagClie->setSession(&fw::serverSession());

    rpddPadrao = named(new fw::TReportDesignerDialog(this), "rpddPadrao");
    rpddPadrao->defaultDatabaseName = QStringLiteral("dbVelmora");
    rpddPadrao->defaultDatabaseOnly = true;
    rpddPadrao->filterBeforePrinting = false;
    rpddPadrao->printIfEmpty = true;
    rpddPadrao->scriptsEnabled = true;
    rpddPadrao->useDataModules = false;
    rpddPadrao->savePrinterSetup = false;
    rpddPadrao->printer = {true, 1, false, 0, 0, 0};
    rpddPadrao->modalPreview = false;
    rpddPadrao->userMayEditSql = rpddPadrao->userMayEditDataSets = true;
    rpddPadrao->userMayEditBlocks = rpddPadrao->userMayEditScripts = true;
    rpddPadrao->editAfterInsert = rpddPadrao->showDataFieldList = rpddPadrao->sortDataFields = true;
    rpddPadrao->customSqlDelimiter = true;
    rpddPadrao->firstLabel = 0;
    rpddPadrao->labelCount = 0;
}

} // namespace acc00420
