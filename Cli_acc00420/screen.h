#pragma once

#include "accountservice.h"
#include "statementreport.h"
#include <framework/data/adoibquery.h>
#include <framework/ui/buttonflat.h>
#include <framework/ui/btnpesquisa.h>
#include <framework/ui/dateeditplus.h>
#include <framework/ui/dbcontrols.h>
#include <framework/ui/frmpadrao.h>
#include <framework/ui/maskedit.h>
#include <framework/data/netconnection.h>
#include <framework/ui/numberedit.h>
#include <framework/report/reportdesigner.h>

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QTimer>

namespace acc00420 {

// "Manutenção Conta Cliente/Consumidor" (Acc00420): a client's account statement, its
// selection, and the operations on it. Components carry their names as object names.
class TfrmPagClie : public fw::TfrmPadrao
{
    Q_OBJECT
public:
    explicit TfrmPagClie(QWidget *parent = nullptr);

    // The server object, fetched from netPagClie for each call.
    AccountService service() { return AccountService(*netPagClie); }

    // Selection panel.
    QFrame *panCliente;
    fw::TMaskEdit *medCdCliente;
    fw::TBtnPesquisa *btnCliente;
    QLineEdit *edtNmCliente;
    QLineEdit *edtConsumidor;
    fw::TBtnPesquisa *btnConsumidor;
    QLineEdit *edtNmConsum;
    fw::TDateEditPlus *depDe;

    // Data.
    fw::TADOIBQuery *qryCliente;
    fw::TADOIBQuery *qryPesqCliente;
    fw::DataSource *dtsCliente;
    fw::RecordSet *cdsConsumidorFilial;
    fw::DataSource *dtsConsumidorFilial;
    fw::RecordSet *cdsMovCliente;

    // Form page.
    QFrame *panDados;
    QFrame *Panel1;
    fw::TDBEdit *dbeNumero;
    QLineEdit *edtData, *edtHora;
    QComboBox *cbbTipo;
    QLineEdit *edtCancelado;
    QComboBox *cbbTipoValor;
    fw::TNumberEdit *ndeValPago;
    fw::TDBMemo *dbmObservacao;
    fw::TDBEdit *dbeDataAtu, *dbeNmOperador;
    fw::TDBMemo *dbeDsAtuMovClie;
    fw::TDBEdit *dbeDtRecMovClie, *dbeOpeReca;
    QGroupBox *grbSubsidio;
    fw::TDBEdit *dbeVrSubs, *dbeTetoSubs;

    // Toolbar and menu additions, connection, reports.
    fw::TButtonFlat *btfCancelamento;
    fw::TButtonFlat *btfPgtoClie;
    QAction *N1;
    QAction *mnuCancelamento;
    fw::TNetConnection *netPagClie;
    fw::TReportDesignerDialog *rpddPadrao;

    void FormCreate() override;
    void FormActivate() override;
    void FormClose(fw::CloseAction &action) override;
    void netPagClieBeforeConnect(fw::TNetConnection &connection);
    void btfPgtoClieClick() {}

    // The movement record and its display (account.cpp).
    void cdsMovClienteIDTIPMOCVLIGetText(fw::Field &sender, QString &text, bool displayText);
    void cdsMovClienteCalcFields(fw::RecordSet &dataSet);
    void dbgPadraoDrawColumnCell(fw::TDBGrid &grid, const QRect &rect, int column, QStyle::State state);
    void cdsMovClienteAfterScroll(fw::RecordSet &dataSet);
    // The form's "Data/Hora" for a movement's moment; empty for none.
    void showMovementMoment(const QDateTime &when);

    // Manual credit/debit entry, and the controls each state of the statement allows (entry.cpp).
    void sbtIncluirClick() override;
    void cdsMovClienteAfterInsert(fw::RecordSet &dataSet);
    void ndeValPagoExit();
    void ndeValPagoChange() {}
    void cbbTipoChange();
    void cdsMovClienteBeforePost(fw::RecordSet &dataSet);
    // Also the after-delete handler: every change of the statement goes the same way.
    void cdsMovClienteAfterPost(fw::RecordSet &dataSet);
    void cdsMovClienteAfterCancel(fw::RecordSet &dataSet);
    void cdsMovClienteBeforeDelete(fw::RecordSet &dataSet);
    // The statement holds changes a failed send left pending.
    bool hasPendingChanges() const;
    // True when nothing a failed send left pending would be lost, or the operator agrees to
    // lose it.
    bool mayDiscardPendingChanges();
    // Before an operation whose reload would lose them: nothing pending, or the operator agreed
    // to lose it (it goes, the cursor staying on its movement). False: the operation stops.
    bool discardPendingChangesFirst();
    // The current movement was posted here and a failed send left it pending.
    bool currentMovementPending() const;
    void dtsPadraoStateChange() override;

    // Movement cancellation, with its sale and receipt (cancellation.cpp).
    void btfCancelamentoClick();
    void mnuCancelamentoClick();

    // Balance verification (verification.cpp).
    void sbtVerificarClick() override;

    // The receipt of the current movement (printing.cpp). The print button does nothing: the
    // maintenance menu's "Imprimir Recibo" prints.
    QAction *mnuImprimirRecibo;
    void rpddPadraoBeforeGetQueryParams(fw::ReportParams &params, bool &handled);
    void sbtImprimirClick() override {}
    void printReceipt();

    // The statement of a period (statementprinting.cpp): asked for in a small dialog, then
    // previewed or exported as CSV to the file askExportFile gives (empty: none).
    QAction *mnuImprimirExtrato;
    QAction *mnuExportarExtrato;
    std::function<QString(const QString &suggested)> askExportFile;
    void printStatement();
    void exportStatement();

    // Client and consumer selection, statement loading (selection.cpp).
    void medCdClienteEnter();
    void medCdClienteExit();
    void medCdClienteChange();
    void medCdClienteKeyPress();
    // The client edit takes a number of any length again (the mask of an undetermined type),
    // keeping its digits unless a new number is typed over them.
    void openClientMask(bool typedOver);
    void btnClienteBeforePesq(fw::TBtnPesquisa &sender);
    void btnClienteAfterPesq(fw::TBtnPesquisa &sender);
    void qryClienteNRINSJURCLIEGetText(fw::Field &sender, QString &text, bool displayText);
    void edtConsumidorChange();
    void edtConsumidorExit();
    void btnConsumidorBeforePesq(fw::TBtnPesquisa &sender);
    void btnConsumidorAfterPesq(fw::TBtnPesquisa &sender);
    void Vd_CdCliente(bool required);
    void Vd_Consumidor(bool required);
    void Vd_DataIni();
    void panClienteEnter();
    void panClienteExit();
    // CDCLIENTE of qryCliente's current row; empty when no client is selected.
    QString selectedClient() const;
    // The start date of depDe as a moment (midnight).
    QDateTime startDate() const;
    // Every load and reload: setAtualizaCons (its payload returned), then getMovCliente into
    // cdsMovCliente for the consumer edit's code (all consumers when it is blank).
    fw::CborItem recalculateBalances(const QString &consumer);
    // Every load and reload: what changed since the version shown, merged, when the open
    // statement's account is watched; else the statement read whole. The focus goes to the grid.
    void reloadStatement();
    // The pages a loaded statement allows: the list and the form when it has movements, only
    // a new entry when it has none.
    void showStatementPages();
    // Puts the cursor back on the movement numbered stNrSequMovi, when the statement holds it.
    bool returnToMovement();
    // After an entry is posted or dropped: the list page, the focus in the grid.
    void goOnInTheList();

    // Keeping the open statement current (livestatement.cpp). Watching starts before the
    // statement is read whole and ends when it closes; a change anywhere is brought in.
    void watchAccount();
    void stopWatching();
    void accountChanged(const QString &client, quint64 version);
    // Brings what changed since the version shown into the statement, now or, under an entry,
    // an edit, an unsent change or a question to the operator, as soon as it is free.
    void catchUpWhenFree();
    // What came, in the status bar's words ("1 lançamento de 0012"; empty for nothing); throws
    // as the server's calls do. `report`: a refusal is shown to the operator.
    QString bringStatementUpToDate(bool report);

private:
    void bindLiveStatementEvents();
    // The statement read whole with getMovCliente, for the consumer edit's code.
    void loadWholeStatement();
    // The consumer arguments of the statement for the consumer edit: its code, or none and
    // "T" (every consumer) when it is blank.
    std::pair<QString, QString> statementConsumer() const;
    void resumeWatching();
    QString describeArrivals(QByteArrayView rows) const;
    void buildSelectionPanel();
    void buildData();
    void buildFormPage();
    void buildToolbarAdditions();
    void buildConnectionAndReports();
    void bindAccountEvents();
    void bindSelectionEvents();
    void bindEntryEvents();
    void bindCancellationEvents();
    void bindPrintingEvents();
    void bindStatementEvents();
    std::optional<std::pair<StatementPrint, Statement>> askStatement();
    QString branchName() const;
    // A message in the host's status bar, for a while.
    void showStatus(const QString &message);

    bool m_refusing = false; // a posting is refused: the focus moves to the field at fault

    QString m_watched;           // the account watched; empty: none
    quint64 m_version = 0;       // the account's version the statement shows
    quint64 m_announced = 0;     // the latest version the server told of
    QDateTime m_statementStart;  // the watched statement's start and consumer arguments
    std::pair<QString, QString> m_statementConsumer;
    QTimer *m_catchUp = nullptr; // tries again what could not be brought in yet
    QTimer *m_resume = nullptr;  // opens a lost connection again while watching

};

} // namespace acc00420
