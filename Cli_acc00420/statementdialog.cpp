#include "statementdialog.h"

#include <framework/ui/dateeditplus.h>
#include <framework/ui/maskedit.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace acc00420 {

TdlgExtrato::TdlgExtrato(const QDate &from, const QDate &to, const QString &consumer, QWidget *parent)
    : QDialog(parent)
    , depDe(new fw::TDateEditPlus(this))
    , depAte(new fw::TDateEditPlus(this))
    , rbtConsumidor(new QRadioButton(consumer.isEmpty() ? QStringLiteral("Este &consumidor")
                                                        : QStringLiteral("Este &consumidor: %1").arg(consumer), this))
    , rbtTodos(new QRadioButton(QStringLiteral("&Todos os consumidores do cliente"), this))
    , chkCancelados(new QCheckBox(QStringLiteral("Mostrar lançamentos ca&ncelados"), this))
    , lblMensagem(new QLabel(this))
{
    setObjectName(QStringLiteral("dlgExtrato"));
    setWindowTitle(QStringLiteral("Extrato"));
    depDe->setObjectName(QStringLiteral("depDe"));
    depAte->setObjectName(QStringLiteral("depAte"));
    rbtConsumidor->setObjectName(QStringLiteral("rbtConsumidor"));
    rbtTodos->setObjectName(QStringLiteral("rbtTodos"));
    chkCancelados->setObjectName(QStringLiteral("chkCancelados"));
    lblMensagem->setObjectName(QStringLiteral("lblMensagem"));
    lblMensagem->setWordWrap(true);
    lblMensagem->setStyleSheet(QStringLiteral("color: #b00020"));
    lblMensagem->hide();
    depDe->SetDate(from);
    depAte->SetDate(to);
    rbtConsumidor->setEnabled(!consumer.isEmpty());
    (consumer.isEmpty() ? rbtTodos : rbtConsumidor)->setChecked(true);
    chkCancelados->setChecked(true);

    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("&De:"), depDe);
    fields->addRow(QStringLiteral("&Até:"), depAte);
    auto *buttons = new QDialogButtonBox(this);
    btnOk = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnCancelar = buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    btnCancelar->setObjectName(QStringLiteral("btnCancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TdlgExtrato::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TdlgExtrato::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(rbtConsumidor);
    layout->addWidget(rbtTodos);
    layout->addWidget(chkCancelados);
    layout->addWidget(lblMensagem);
    layout->addWidget(buttons);
    depDe->edit()->setFocus();
}

StatementRequest TdlgExtrato::request() const
{
    return {depDe->GetDate(), depAte->GetDate(), rbtTodos->isChecked(), chkCancelados->isChecked()};
}

void TdlgExtrato::accept()
{
    const auto refuse = [this](fw::TDateEditPlus *date, const QString &message) {
        lblMensagem->setText(message);
        lblMensagem->show();
        date->edit()->setFocus();
        date->edit()->selectAll();
    };
    for (fw::TDateEditPlus *date : {depDe, depAte}) {
        if (!date->GetDate().isValid())
            return refuse(date, QStringLiteral("Informe uma data válida, dd/mm/aaaa."));
    }
    if (depDe->GetDate() > depAte->GetDate())
        return refuse(depDe, QStringLiteral("A data inicial deve ser anterior ou igual à final."));
    QDialog::accept();
}

} // namespace acc00420
