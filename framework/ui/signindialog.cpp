#include "signindialog.h"

#include "widgetutils.h"

#include <framework/core/detailederror.h>

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace fw {

SignInDialog::SignInDialog(SignIn signIn, QWidget *parent)
    : QDialog(parent)
    , m_signIn(std::move(signIn))
    , m_operator(new QLineEdit(this))
    , m_password(new QLineEdit(this))
    , m_branch(new QLineEdit(this))
    , m_message(new QLabel(this))
{
    setObjectName(QStringLiteral("dlgEntrar"));
    setWindowTitle(QStringLiteral("Entrar"));
    m_operator->setObjectName(QStringLiteral("edtOperador"));
    m_operator->setMaxLength(4);
    m_password->setObjectName(QStringLiteral("edtSenha"));
    m_password->setMaxLength(128);
    m_password->setEchoMode(QLineEdit::Password);
    m_branch->setObjectName(QStringLiteral("edtFilial"));
    m_branch->setMaxLength(4);
    m_message->setObjectName(QStringLiteral("lblMensagem"));
    m_message->setWordWrap(true);
    m_message->setStyleSheet(QStringLiteral("color: #b00020"));
    m_message->hide();

    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("&Operador:"), m_operator);
    fields->addRow(QStringLiteral("&Senha:"), m_password);
    fields->addRow(QStringLiteral("&Filial:"), m_branch);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *enter = buttons->addButton(QStringLiteral("&Entrar"), QDialogButtonBox::AcceptRole);
    enter->setObjectName(QStringLiteral("btnEntrar"));
    enter->setDefault(true);
    QPushButton *leave = buttons->addButton(QStringLiteral("Sai&r"), QDialogButtonBox::RejectRole);
    leave->setObjectName(QStringLiteral("btnSair"));
    connect(buttons, &QDialogButtonBox::accepted, this, &SignInDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SignInDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(m_message);
    layout->addWidget(buttons);
    setMinimumWidth(360);
    keepTitleVisible(*this);
    focusFirstEmpty();
}

void SignInDialog::setOperator(const QString &code)
{
    m_operator->setText(code);
    focusFirstEmpty();
}

void SignInDialog::setBranch(const QString &code)
{
    m_branch->setText(code);
    focusFirstEmpty();
}

void SignInDialog::fixIdentity()
{
    m_operator->setReadOnly(true);
    m_branch->setReadOnly(true);
    m_operator->setFocusPolicy(Qt::NoFocus);
    m_branch->setFocusPolicy(Qt::NoFocus);
    m_password->setFocus();
}

void SignInDialog::setMessage(const QString &message)
{
    m_message->setText(message);
    m_message->setVisible(!message.isEmpty());
}

QString SignInDialog::operatorCode() const
{
    return m_operator->text().trimmed();
}

QString SignInDialog::branch() const
{
    return m_branch->text().trimmed();
}

void SignInDialog::focusFirstEmpty()
{
    for (QLineEdit *edit : {m_operator, m_password, m_branch}) {
        if (edit->text().isEmpty()) {
            edit->setFocus();
            return;
        }
    }
    m_password->setFocus();
}

void SignInDialog::accept()
{
    if (operatorCode().isEmpty() || m_password->text().isEmpty() || branch().isEmpty()) {
        setMessage(QStringLiteral("Informe operador, senha e filial."));
        focusFirstEmpty();
        return;
    }
    setEnabled(false);
    try {
        m_signIn(operatorCode(), m_password->text(), branch());
    } catch (const DetailedError &e) {
        setEnabled(true);
        setMessage(QString::fromUtf8(e.what()));
        m_password->setFocus();
        m_password->selectAll();
        return;
    }
    setEnabled(true);
    QDialog::accept();
}

} // namespace fw
