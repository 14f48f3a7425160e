#include "mainwindow.h"

#include <framework/ui/handlerguard.h>
#include <framework/core/logincontext.h>

#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QStatusBar>

MainWindow::MainWindow(ModuleLoader &modules, QWidget *parent)
    : QMainWindow(parent)
    , m_modules(modules)
    , m_area(new QMdiArea(this))
{
    setObjectName(QStringLiteral("frmPrincipal"));
    m_area->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(m_area);
    const QString operatorName = fw::NomeOperador().isEmpty() ? QString() : QStringLiteral(" (%1)").arg(fw::NomeOperador());
    // The application's name follows the title ("… — Retaguarda").
    setWindowTitle(QStringLiteral("Filial %1 — Operador %2%3")
                       .arg(fw::FiliProc(), fw::Operador().isEmpty() ? QStringLiteral("?") : fw::Operador(), operatorName));

    QMenu *finance = menuBar()->addMenu(QStringLiteral("&Financeiro"));
    QAction *account = finance->addAction(QStringLiteral("Manutenção Conta Cliente/Consumidor"));
    account->setObjectName(QStringLiteral("mnuAcc00420"));
    account->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    connect(account, &QAction::triggered, this, [this] { openModule(QStringLiteral("PKG_Acc00420")); });
    QMenu *windows = menuBar()->addMenu(QStringLiteral("&Janelas"));
    windows->addAction(QStringLiteral("&Cascata"), m_area, &QMdiArea::cascadeSubWindows);
    windows->addAction(QStringLiteral("&Lado a lado"), m_area, &QMdiArea::tileSubWindows);
    QMenu *exit = menuBar()->addMenu(QStringLiteral("&Sair"));
    exit->addAction(QStringLiteral("Sair da retaguarda"), QKeySequence(Qt::ALT | Qt::Key_F4), this, &QWidget::close);
    // A permanent part: menu hints would wipe a plain message.
    auto *server = new QLabel(QStringLiteral("Servidor de aplicação %1:%2 %3")
                                  .arg(fw::WebURL()).arg(fw::WebPort())
                                  .arg(fw::loginContext().serverTls ? QStringLiteral("(TLS)") : QStringLiteral("(sem TLS)")));
    server->setObjectName(QStringLiteral("lblServidor"));
    statusBar()->addPermanentWidget(server); // the left leaves room for the screens' messages
}

void MainWindow::openModule(const QString &module)
{
    fw::guarded([&] { m_modules.open(module); });
}
