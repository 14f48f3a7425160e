#pragma once

#include <framework/ui/btnpesquisa.h>
#include <framework/ui/dbcontrols.h>
#include <framework/ui/frmpadrao.h>
#include <framework/data/recordset.h>

#include <QLineEdit>

// A small screen on the standard maintenance screen, as a back-office screen builds it: a
// record set of people with an amount, a selection panel, and a form page with bound edits.
// Its handlers write what they ran to `log`.
class SampleScreen : public fw::TfrmPadrao
{
public:
    explicit SampleScreen(QWidget *parent = nullptr);

    void load(int rows);

    void FormCreate() override;
    void sbtIncluirClick() override;
    void sbtVerificarClick() override;

    fw::RecordSet *cdsPessoas;
    QWidget *panSelecao;
    QLineEdit *edtCodigo, *edtNome;
    fw::TBtnPesquisa *btnPessoa;
    fw::TDBEdit *dbeNome;
    fw::TDBMemo *dbmObservacao;
    QLineEdit *edtFora;
    QStringList log;
    std::function<void()> verify;
};
