#pragma once

#include <framework/data/datasource.h>
#include <framework/ui/dbgrid.h>
#include <framework/ui/dbnavigator.h>
#include <framework/core/messages.h>
#include <framework/ui/uiexport.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QToolButton>
#include <QWidget>

namespace fw {

enum class CloseAction { None, Hide, Free, Minimize };

// The standard maintenance screen every back-office screen derives from: the screen code, a
// toolbar whose buttons each have a twin in the maintenance menu, a list page with the grid and
// a form page (each with a view menu item), a navigator and the data source the screen's record
// set hangs on.
//
// Toolbar (button → twin, shortcut):
//   include button          sbtIncluir   → mnuIncluir    F2
//   second record button    sbtAlterar   → mnuAlterar    F3
//   third record button     sbtExcluir   → mnuExcluir    Ctrl+Del
//   confirm / cancel        sbtConfirmar → mnuConfirmar  F10   sbtCancelar → mnuCancelar  Esc
//   further buttons         sbtPrimeiro  → mnuPrimeiro   Ctrl+Home
//                           sbtAnterior  → mnuAnterior   Ctrl+PgUp
//                           sbtProximo   → mnuProximo    Ctrl+PgDown
//                           sbtUltimo    → mnuUltimo     Ctrl+End
//                           sbtVerificar → mnuVerificar  F5   (calls sbtVerificarClick)
//   print, help, close      sbtImprimir  → mnuImprimir   Ctrl+P, sbtAjuda → mnuAjuda F1,
//                           sbtFechar    → mnuFechar     Ctrl+F4
//   the further menu item   mnuConfigImpressora (printer set-up dialog)  Ctrl+Shift+P
// View menu mnuExibir: mnuFolhaDados (Ctrl+1) and mnuFormulario (Ctrl+2).
//
// A derived screen overrides FormCreate, FormActivate, FormClose, dtsPadraoStateChange and
// the click handlers, calling the base's from its own where it wants the standard behaviour.
// Every click, menu item and shortcut runs its handler through the handler guard.
class FW_UI_EXPORT TfrmPadrao : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmPadrao(QWidget *parent = nullptr);
    ~TfrmPadrao() override;

    // Runs FormCreate; called once by whoever creates the screen, after construction.
    void create();
    // Runs FormActivate. The screen runs it itself each time its window becomes the active one:
    // its child window in the host's MDI area, or its own window.
    void activate();

    // The base toolbar's roles.
    QToolButton *includeButton() const { return sbtIncluir; }
    QToolButton *secondRecordButton() const { return sbtAlterar; }
    QToolButton *thirdRecordButton() const { return sbtExcluir; }
    QList<QToolButton *> furtherButtons() const;
    QAction *furtherMenuItem() const { return mnuConfigImpressora; }
    QAction *twinOf(QToolButton *button) const;
    // Gives each button's menu twin the button's enabled state.
    void copyToTwins(const QList<QToolButton *> &buttons);

    // A report the screen prints from its maintenance menu, after the print item; offered
    // while browsing, with a record current unless the report is of the whole data set.
    enum class ReportOf { CurrentRecord, DataSet };
    QAction *addReportItem(const char *name, const QString &caption, const QKeySequence &shortcut,
                           std::function<void()> run, ReportOf of = ReportOf::CurrentRecord);

    void SetActivePage(QWidget *page);
    QWidget *activePage() const { return pgcPadrao->currentWidget(); }
    void setPageEnabled(QWidget *page, bool enabled);
    bool pageEnabled(QWidget *page) const;
    QAction *viewItemOf(QWidget *page) const;

    QLabel *lblCodTela;
    QWidget *panMenu;
    QToolButton *sbtIncluir, *sbtAlterar, *sbtExcluir, *sbtConfirmar, *sbtCancelar;
    QToolButton *sbtPrimeiro, *sbtAnterior, *sbtProximo, *sbtUltimo, *sbtVerificar;
    QToolButton *sbtImprimir, *sbtAjuda, *sbtFechar;
    QMenuBar *mnuMenu;
    QMenu *mnuManutencao, *mnuExibir;
    QAction *mnuIncluir, *mnuAlterar, *mnuExcluir, *mnuConfirmar, *mnuCancelar;
    QAction *mnuPrimeiro, *mnuAnterior, *mnuProximo, *mnuUltimo, *mnuVerificar;
    QAction *mnuImprimir, *mnuConfigImpressora, *mnuAjuda, *mnuFechar;
    QAction *mnuFolhaDados, *mnuFormulario;
    QTabWidget *pgcPadrao;
    QWidget *tshFolhaDados, *tshFormulario;
    TDBGrid *dbgPadrao;
    QWidget *panNavigator;
    TDBNavigator *dbnPadrao;
    DataSource *dtsPadrao;
    TMessages *msgPadrao;
    TMessages *msgMensagensPadroes;

    virtual void FormCreate();
    virtual void FormActivate();
    virtual void FormClose(CloseAction &action);
    // Sets the toolbar for the record set's state and copies it to the menu.
    virtual void dtsPadraoStateChange();
    // Starts a new record on the data source's record set; returns after its after-insert ran.
    virtual void sbtIncluirClick();
    virtual void sbtVerificarClick() {}
    virtual void sbtImprimirClick() {}
    virtual void sbtAjudaClick();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QToolButton *addButton(const char *name, const QString &text, const QString &hint, QAction **twin,
                           const char *twinName, const QKeySequence &shortcut, std::function<void()> handler);
    RecordSet *dataSet() const { return dtsPadrao->dataSet(); }
    std::function<void()> onRecordSet(void (RecordSet::*action)());
    void deleteClick();
    // First and previous off on the first record, next and last on the last one.
    void updateRecordArrows();
    void followChildWindow();

    QHash<QToolButton *, QAction *> m_twins;
    QList<std::pair<QAction *, ReportOf>> m_reportItems;
    QMetaObject::Connection m_childWindowActivation;
};

} // namespace fw
