#pragma once

#include <QDate>
#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace fw {
class TDateEditPlus;
}

namespace acc00420 {

// What a statement is asked for.
struct StatementRequest
{
    QDate from, to;
    bool everyConsumer = true;
    bool showCancelled = true;
};

// The small dialog before a statement is printed or exported, for the keyboard alone: the two
// dates, this consumer or every consumer of the client, cancelled movements shown or not.
// Enter confirms, Esc gives up; a date missing or a period backwards is said in the dialog and
// the focus goes to the date to mend.
class TdlgExtrato : public QDialog
{
    Q_OBJECT
public:
    // `consumer` names the consumer chosen on the screen; empty: none, every consumer it is.
    TdlgExtrato(const QDate &from, const QDate &to, const QString &consumer, QWidget *parent = nullptr);

    StatementRequest request() const;
    void accept() override;

    fw::TDateEditPlus *depDe, *depAte;
    QRadioButton *rbtConsumidor, *rbtTodos;
    QCheckBox *chkCancelados;
    QLabel *lblMensagem;
    QPushButton *btnOk, *btnCancelar;
};

} // namespace acc00420
