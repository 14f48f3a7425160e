#include "frmpadrao.h"

#include <framework/ui/handlerguard.h>
#include <framework/ui/printersetup.h>

#include <QApplication>
#include <QCloseEvent>
#include <QMdiSubWindow>
#include <QTabBar>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace fw {

TfrmPadrao::TfrmPadrao(QWidget *parent)
    : QWidget(parent)
{
    dtsPadrao = new DataSource(this);
    dtsPadrao->setObjectName(QStringLiteral("dtsPadrao"));
    dtsPadrao->onStateChange = [this](DataSource &) { dtsPadraoStateChange(); };
    // The record arrows follow the cursor, as the navigator's do.
    connect(dtsPadrao, &DataSource::dataSetChanged, this, [this] {
        if (RecordSet *set = dataSet())
            connect(set, &RecordSet::currentChanged, this, [this] { updateRecordArrows(); });
    });
    msgPadrao = new TMessages(this);
    msgPadrao->setObjectName(QStringLiteral("msgPadrao"));
    msgMensagensPadroes = new TMessages(this);
    msgMensagensPadroes->setObjectName(QStringLiteral("msgMensagensPadroes"));
    msgMensagensPadroes->loadFromFile(QStringLiteral(":/framework/msgMensagensPadroes.txt"));

    mnuMenu = new QMenuBar(this);
    mnuMenu->setObjectName(QStringLiteral("mnuMenu"));
    mnuManutencao = mnuMenu->addMenu(QStringLiteral("&Manutenção"));
    mnuManutencao->setObjectName(QStringLiteral("mnuManutencao"));
    mnuExibir = mnuMenu->addMenu(QStringLiteral("&Exibir"));
    mnuExibir->setObjectName(QStringLiteral("mnuExibir"));

    panMenu = new QWidget(this);
    panMenu->setObjectName(QStringLiteral("panMenu"));
    auto *toolbar = new QHBoxLayout(panMenu);
    toolbar->setContentsMargins(2, 2, 2, 2);
    toolbar->setSpacing(1);

    sbtIncluir = addButton("sbtIncluir", QStringLiteral("Incluir"), QStringLiteral("Incluir registro"), &mnuIncluir,
                           "mnuIncluir", Qt::Key_F2, [this] { sbtIncluirClick(); });
    sbtAlterar = addButton("sbtAlterar", QStringLiteral("Alterar"), QStringLiteral("Alterar registro"), &mnuAlterar,
                           "mnuAlterar", Qt::Key_F3, onRecordSet(&RecordSet::edit));
    sbtExcluir = addButton("sbtExcluir", QStringLiteral("Excluir"), QStringLiteral("Excluir registro"), &mnuExcluir,
                           "mnuExcluir", QKeySequence(Qt::CTRL | Qt::Key_Delete), [this] { deleteClick(); });
    sbtConfirmar = addButton("sbtConfirmar", QStringLiteral("Confirmar"), QStringLiteral("Confirmar"), &mnuConfirmar,
                             "mnuConfirmar", Qt::Key_F10, onRecordSet(&RecordSet::post));
    sbtCancelar = addButton("sbtCancelar", QStringLiteral("Cancelar"), QStringLiteral("Cancelar"), &mnuCancelar,
                            "mnuCancelar", Qt::Key_Escape, onRecordSet(&RecordSet::cancel));
    mnuManutencao->addSeparator();
    sbtPrimeiro = addButton("sbtPrimeiro", QStringLiteral("|◀"), QStringLiteral("Primeiro registro"), &mnuPrimeiro,
                            "mnuPrimeiro", QKeySequence(Qt::CTRL | Qt::Key_Home), onRecordSet(&RecordSet::first));
    sbtAnterior = addButton("sbtAnterior", QStringLiteral("◀"), QStringLiteral("Registro anterior"), &mnuAnterior,
                            "mnuAnterior", QKeySequence(Qt::CTRL | Qt::Key_PageUp), onRecordSet(&RecordSet::prior));
    sbtProximo = addButton("sbtProximo", QStringLiteral("▶"), QStringLiteral("Próximo registro"), &mnuProximo,
                           "mnuProximo", QKeySequence(Qt::CTRL | Qt::Key_PageDown), onRecordSet(&RecordSet::next));
    sbtUltimo = addButton("sbtUltimo", QStringLiteral("▶|"), QStringLiteral("Último registro"), &mnuUltimo,
                          "mnuUltimo", QKeySequence(Qt::CTRL | Qt::Key_End), onRecordSet(&RecordSet::last));
    sbtVerificar = addButton("sbtVerificar", QStringLiteral("Verificar"), QStringLiteral("Verificar saldos"),
                             &mnuVerificar, "mnuVerificar", Qt::Key_F5, [this] { sbtVerificarClick(); });
    mnuManutencao->addSeparator();
    sbtImprimir = addButton("sbtImprimir", QStringLiteral("Imprimir"), QStringLiteral("Imprimir"), &mnuImprimir,
                            "mnuImprimir", QKeySequence(Qt::CTRL | Qt::Key_P), [this] { sbtImprimirClick(); });
    mnuConfigImpressora = mnuManutencao->addAction(QStringLiteral("Configurar im&pressora..."));
    mnuConfigImpressora->setObjectName(QStringLiteral("mnuConfigImpressora"));
    mnuConfigImpressora->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    sbtAjuda = addButton("sbtAjuda", QStringLiteral("Ajuda"), QStringLiteral("Ajuda"), &mnuAjuda, "mnuAjuda",
                         Qt::Key_F1, [this] { sbtAjudaClick(); });
    sbtFechar = addButton("sbtFechar", QStringLiteral("Fechar"), QStringLiteral("Fechar a tela"), &mnuFechar,
                          "mnuFechar", QKeySequence(Qt::CTRL | Qt::Key_F4), [this] { close(); });
    toolbar->addStretch();
    lblCodTela = new QLabel(panMenu);
    lblCodTela->setObjectName(QStringLiteral("lblCodTela"));
    toolbar->addWidget(lblCodTela);

    pgcPadrao = new QTabWidget(this);
    pgcPadrao->setObjectName(QStringLiteral("pgcPadrao"));
    tshFolhaDados = new QWidget;
    tshFolhaDados->setObjectName(QStringLiteral("tshFolhaDados"));
    tshFormulario = new QWidget;
    tshFormulario->setObjectName(QStringLiteral("tshFormulario"));
    pgcPadrao->addTab(tshFolhaDados, QStringLiteral("&Lista"));
    pgcPadrao->addTab(tshFormulario, QStringLiteral("Fo&rmulário"));
    tshFolhaDados->installEventFilter(this);
    tshFormulario->installEventFilter(this);
    dbgPadrao = new TDBGrid(tshFolhaDados);
    dbgPadrao->setObjectName(QStringLiteral("dbgPadrao"));
    dbgPadrao->setDataSource(dtsPadrao);
    auto *listLayout = new QVBoxLayout(tshFolhaDados);
    listLayout->setContentsMargins(2, 2, 2, 2);
    listLayout->addWidget(dbgPadrao);

    mnuFolhaDados = mnuExibir->addAction(QStringLiteral("&Lista"));
    mnuFolhaDados->setObjectName(QStringLiteral("mnuFolhaDados"));
    mnuFolhaDados->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    mnuFormulario = mnuExibir->addAction(QStringLiteral("&Formulário"));
    mnuFormulario->setObjectName(QStringLiteral("mnuFormulario"));
    mnuFormulario->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_2));
    for (QAction *item : {mnuFolhaDados, mnuFormulario}) {
        item->setCheckable(true);
        item->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(item);
    }
    mnuFolhaDados->setChecked(true);
    connect(mnuFolhaDados, &QAction::triggered, this, [this] { SetActivePage(tshFolhaDados); });
    connect(mnuFormulario, &QAction::triggered, this, [this] { SetActivePage(tshFormulario); });
    connect(pgcPadrao, &QTabWidget::currentChanged, this, [this] {
        mnuFolhaDados->setChecked(activePage() == tshFolhaDados);
        mnuFormulario->setChecked(activePage() == tshFormulario);
    });
    mnuConfigImpressora->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(mnuConfigImpressora);
    connect(mnuConfigImpressora, &QAction::triggered, this, [this] { showPrinterSetup(this); });

    panNavigator = new QWidget(this);
    panNavigator->setObjectName(QStringLiteral("panNavigator"));
    dbnPadrao = new TDBNavigator(panNavigator);
    dbnPadrao->setObjectName(QStringLiteral("dbnPadrao"));
    dbnPadrao->setDataSource(dtsPadrao);
    auto *navLayout = new QHBoxLayout(panNavigator);
    navLayout->setContentsMargins(2, 0, 2, 2);
    navLayout->addWidget(dbnPadrao);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(mnuMenu);
    layout->addWidget(panMenu);
    layout->addWidget(pgcPadrao, 1);
    layout->addWidget(panNavigator);
}

TfrmPadrao::~TfrmPadrao()
{
    // Before the controls go: the focus leaving them raises nothing.
    markScreenClosing(this);
}

// A record action: runs on the screen's record set, and does nothing while there is none.
std::function<void()> TfrmPadrao::onRecordSet(void (RecordSet::*action)())
{
    return [this, action] {
        if (RecordSet *set = dataSet())
            (set->*action)();
    };
}

QToolButton *TfrmPadrao::addButton(const char *name, const QString &text, const QString &hint, QAction **twin,
                                   const char *twinName, const QKeySequence &shortcut, std::function<void()> handler)
{
    auto *button = new QToolButton(panMenu);
    button->setObjectName(QLatin1String(name));
    button->setText(text);
    button->setToolTip(QStringLiteral("%1 (%2)").arg(hint, shortcut.toString(QKeySequence::NativeText)));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus); // the focus stays where the operator was typing
    panMenu->layout()->addWidget(button);
    *twin = mnuManutencao->addAction(hint);
    (*twin)->setObjectName(QLatin1String(twinName));
    (*twin)->setShortcut(shortcut);
    (*twin)->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(*twin);
    m_twins.insert(button, *twin);
    auto run = [this, handler = std::move(handler)] { guarded(handler); };
    connect(button, &QToolButton::clicked, this, run);
    connect(*twin, &QAction::triggered, this, run);
    return button;
}

QAction *TfrmPadrao::addReportItem(const char *name, const QString &caption, const QKeySequence &shortcut,
                                   std::function<void()> run, ReportOf of)
{
    auto *item = new QAction(caption, this);
    item->setObjectName(QLatin1String(name));
    item->setShortcut(shortcut);
    item->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    mnuManutencao->insertAction(mnuConfigImpressora, item);
    addAction(item);
    connect(item, &QAction::triggered, this, [run = std::move(run)] { guarded(run); });
    m_reportItems.append({item, of});
    RecordSet *set = dataSet();
    item->setEnabled(set && set->state() == DataSetState::Browse && (of == ReportOf::DataSet || !set->isEmpty()));
    return item;
}

QList<QToolButton *> TfrmPadrao::furtherButtons() const
{
    return {sbtPrimeiro, sbtAnterior, sbtProximo, sbtUltimo, sbtVerificar};
}

QAction *TfrmPadrao::twinOf(QToolButton *button) const
{
    return m_twins.value(button);
}

void TfrmPadrao::copyToTwins(const QList<QToolButton *> &buttons)
{
    for (QToolButton *button : buttons) {
        if (QAction *twin = twinOf(button))
            twin->setEnabled(button->isEnabled());
    }
}

void TfrmPadrao::SetActivePage(QWidget *page)
{
    pgcPadrao->setCurrentWidget(page);
}

void TfrmPadrao::setPageEnabled(QWidget *page, bool enabled)
{
    // The tab bar moves off a page disabled while it shows; the screen decides what shows (a
    // disabled page can be the one shown, as the list is when there is nothing to list).
    QWidget *shown = activePage();
    pgcPadrao->setTabEnabled(pgcPadrao->indexOf(page), enabled);
    if (activePage() != shown)
        SetActivePage(shown);
}

bool TfrmPadrao::pageEnabled(QWidget *page) const
{
    return pgcPadrao->isTabEnabled(pgcPadrao->indexOf(page));
}

QAction *TfrmPadrao::viewItemOf(QWidget *page) const
{
    return page == tshFolhaDados ? mnuFolhaDados : page == tshFormulario ? mnuFormulario : nullptr;
}

void TfrmPadrao::create()
{
    FormCreate();
}

void TfrmPadrao::activate()
{
    guarded([this] { FormActivate(); });
}

void TfrmPadrao::FormCreate()
{
    dtsPadraoStateChange();
}

void TfrmPadrao::FormActivate()
{
}

void TfrmPadrao::FormClose(CloseAction &action)
{
    action = CloseAction::Free;
    RecordSet *set = dataSet();
    if (!set)
        return;
    const bool typing = set->state() == DataSetState::Edit || set->state() == DataSetState::Insert;
    const bool pending = set->changeCount() > 0;
    auto agrees = [this](const char *key) {
        return msgMensagensPadroes->ShowMsg(QLatin1String(key), MsgDlgType::Confirmation, mbYes | mbNo) == mrYes;
    };
    // Closing would lose, without a word, a record being typed and the changes a failed send
    // left pending: each is asked about once, before anything goes.
    if ((typing && !agrees("descartar")) || (pending && !agrees("pendente"))) {
        action = CloseAction::None;
        return;
    }
    if (pending)
        set->cancelUpdates(); // the record being typed too, with no second question
    else if (typing)
        set->cancel();
}

void TfrmPadrao::dtsPadraoStateChange()
{
    RecordSet *set = dataSet();
    const DataSetState state = set ? set->state() : DataSetState::Inactive;
    const bool browsing = state == DataSetState::Browse;
    const bool editing = state == DataSetState::Edit || state == DataSetState::Insert;
    const bool hasRecord = browsing && !set->isEmpty();
    sbtIncluir->setEnabled(browsing);
    sbtAlterar->setEnabled(hasRecord);
    sbtExcluir->setEnabled(hasRecord);
    sbtConfirmar->setEnabled(editing);
    sbtCancelar->setEnabled(editing);
    updateRecordArrows();
    sbtVerificar->setEnabled(browsing);
    for (const auto &[report, of] : std::as_const(m_reportItems))
        report->setEnabled(of == ReportOf::DataSet ? browsing : hasRecord);
    copyToTwins({sbtIncluir, sbtAlterar, sbtExcluir, sbtConfirmar, sbtCancelar, sbtPrimeiro, sbtAnterior,
                 sbtProximo, sbtUltimo, sbtVerificar, sbtImprimir});
}

void TfrmPadrao::updateRecordArrows()
{
    RecordSet *set = dataSet();
    const bool hasRecord = set && set->state() == DataSetState::Browse && !set->isEmpty();
    const int at = hasRecord ? set->recNo() : -1;
    sbtPrimeiro->setEnabled(hasRecord && at > 0);
    sbtAnterior->setEnabled(hasRecord && at > 0);
    sbtProximo->setEnabled(hasRecord && at < set->recordCount() - 1);
    sbtUltimo->setEnabled(hasRecord && at < set->recordCount() - 1);
    copyToTwins({sbtPrimeiro, sbtAnterior, sbtProximo, sbtUltimo});
}

void TfrmPadrao::sbtIncluirClick()
{
    if (RecordSet *set = dataSet())
        set->insert();
}

void TfrmPadrao::sbtAjudaClick()
{
    msgMensagensPadroes->ShowMsg(QStringLiteral("ajuda"), MsgDlgType::Information, mbOK);
}

void TfrmPadrao::deleteClick()
{
    if (dataSet() && msgMensagensPadroes->ShowMsg(QStringLiteral("excluir"), MsgDlgType::Confirmation, mbYes | mbNo) == mrYes)
        dataSet()->deleteRecord();
}

void TfrmPadrao::closeEvent(QCloseEvent *event)
{
    CloseAction action = CloseAction::Free;
    if (!guarded([&] { FormClose(action); }))
        action = CloseAction::None;
    switch (action) {
    case CloseAction::None:
        event->ignore();
        return;
    case CloseAction::Minimize:
        event->ignore();
        showMinimized();
        return;
    case CloseAction::Hide:
        event->accept();
        return;
    case CloseAction::Free:
        markScreenClosing(this);
        setAttribute(Qt::WA_DeleteOnClose);
        event->accept();
        return;
    }
}

// A page hidden with the focus inside would pass the focus on as a Tab would, possibly into
// another panel of the screen (raising its enter). The focus waits on the page tabs instead,
// and the page shown next takes it from there.
bool TfrmPadrao::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Hide && (watched == tshFolhaDados || watched == tshFormulario)) {
        auto *page = static_cast<QWidget *>(watched);
        if (QWidget *focus = QApplication::focusWidget(); focus && page->isAncestorOf(focus))
            pgcPadrao->tabBar()->setFocus(Qt::OtherFocusReason);
    }
    return QWidget::eventFilter(watched, event);
}

bool TfrmPadrao::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && isWindow())
        activate(); // a screen in a window of its own
    else if (event->type() == QEvent::ParentChange)
        followChildWindow();
    return QWidget::event(event);
}

// A screen in the host's MDI area is activated when its child window becomes the active one.
void TfrmPadrao::followChildWindow()
{
    disconnect(m_childWindowActivation);
    auto *window = qobject_cast<QMdiSubWindow *>(parentWidget());
    if (!window)
        return;
    m_childWindowActivation = connect(window, &QMdiSubWindow::windowStateChanged, this,
                                      [this](Qt::WindowStates before, Qt::WindowStates now) {
                                          if ((now & Qt::WindowActive) && !(before & Qt::WindowActive))
                                              activate();
                                      });
}

} // namespace fw
