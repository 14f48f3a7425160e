#pragma once

#include <framework/ui/uiexport.h>

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;

namespace fw {

// The back office's sign-in, "Entrar": operator, password and branch, from the keyboard alone.
// Enter signs in through `signIn`, which throws a DetailedError with the server's words when
// refused; the dialog then shows them, keeps what was typed and selects the password. Esc
// gives up.
class FW_UI_EXPORT SignInDialog : public QDialog
{
    Q_OBJECT
public:
    using SignIn = std::function<void(const QString &operador, const QString &senha, const QString &filial)>;

    explicit SignInDialog(SignIn signIn, QWidget *parent = nullptr);

    void setOperator(const QString &code);
    void setBranch(const QString &code);
    // Signing in again for a session that ended: the same operator at the same branch.
    void fixIdentity();
    // Shown before anything is typed (why the dialog came back, a sign-in that failed).
    void setMessage(const QString &message);

    QString operatorCode() const;
    QString branch() const;

    void accept() override;

private:
    void focusFirstEmpty();

    SignIn m_signIn;
    QLineEdit *m_operator;
    QLineEdit *m_password;
    QLineEdit *m_branch;
    QLabel *m_message;
};

} // namespace fw
