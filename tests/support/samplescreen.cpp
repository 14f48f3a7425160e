#include "samplescreen.h"

#include <framework/data/datapacket.h>

#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

using namespace fw;

SampleScreen::SampleScreen(QWidget *parent)
    : TfrmPadrao(parent)
{
    setObjectName(QStringLiteral("frmAmostra"));
    setWindowTitle(QStringLiteral("Cadastro de Pessoas"));
    lblCodTela->setText(QStringLiteral("Tst00001"));

    cdsPessoas = new RecordSet(this);
    cdsPessoas->setObjectName(QStringLiteral("cdsPessoas"));
    cdsPessoas->addField({QStringLiteral("ID"), FieldType::String, 6, QStringLiteral("Código")});
    cdsPessoas->addField({QStringLiteral("NOME"), FieldType::String, 30, QStringLiteral("Nome")});
    cdsPessoas->addField({QStringLiteral("VALOR"), FieldType::Float, 0, QStringLiteral("Valor"), QStringLiteral("0.00")});
    cdsPessoas->addField({QStringLiteral("OBS"), FieldType::String, 10, QStringLiteral("Obs.")});
    cdsPessoas->afterInsert = [this](RecordSet &) { log.append(QStringLiteral("afterInsert")); };
    dtsPadrao->setDataSet(cdsPessoas);
    dbgPadrao->setColumns({{QStringLiteral("ID"), {}, 60}, {QStringLiteral("NOME"), {}, 200},
                           {QStringLiteral("VALOR"), QStringLiteral("Valor (R$)"), 90}});

    panSelecao = new QWidget(this);
    panSelecao->setObjectName(QStringLiteral("panSelecao"));
    edtCodigo = new QLineEdit(panSelecao);
    edtCodigo->setObjectName(QStringLiteral("edtCodigo"));
    btnPessoa = new TBtnPesquisa(panSelecao);
    btnPessoa->setObjectName(QStringLiteral("btnPessoa"));
    btnPessoa->setAssociate(edtCodigo);
    btnPessoa->setDataSource(dtsPadrao);
    btnPessoa->setTitle(QStringLiteral("Pessoa"));
    btnPessoa->setEmptyError(QStringLiteral("Não há pessoa cadastrada."));
    edtNome = new QLineEdit(panSelecao);
    edtNome->setObjectName(QStringLiteral("edtNome"));
    auto *selection = new QHBoxLayout(panSelecao);
    selection->addWidget(edtCodigo);
    selection->addWidget(btnPessoa);
    selection->addWidget(edtNome);
    edtFora = new QLineEdit(this);
    edtFora->setObjectName(QStringLiteral("edtFora"));
    static_cast<QVBoxLayout *>(layout())->insertWidget(1, panSelecao);
    static_cast<QVBoxLayout *>(layout())->insertWidget(2, edtFora);

    dbeNome = new TDBEdit(tshFormulario);
    dbeNome->setObjectName(QStringLiteral("dbeNome"));
    dbeNome->setDataSource(dtsPadrao);
    dbeNome->setDataField(QStringLiteral("NOME"));
    dbmObservacao = new TDBMemo(tshFormulario);
    dbmObservacao->setObjectName(QStringLiteral("dbmObservacao"));
    dbmObservacao->setDataSource(dtsPadrao);
    dbmObservacao->setDataField(QStringLiteral("OBS"));
    auto *form = new QFormLayout(tshFormulario);
    form->addRow(QStringLiteral("Nome"), dbeNome);
    form->addRow(QStringLiteral("Observação"), dbmObservacao);
}

void SampleScreen::load(int rows)
{
    static const char *const names[] = {"Ana", "Bruno", "Carla", "Davi", "Eva", "Fábio"};
    QByteArray packet;
    DataPacketWriter writer(&packet, {{QStringLiteral("ID"), FieldType::String, 6},
                                      {QStringLiteral("NOME"), FieldType::String, 30},
                                      {QStringLiteral("VALOR"), FieldType::Float, 0},
                                      {QStringLiteral("OBS"), FieldType::String, 10}}, rows);
    for (int i = 0; i < rows; ++i) {
        writer.beginRow();
        writer.writeString(QString::number(i + 1));
        writer.writeString(QString::fromUtf8(names[i % 6]));
        writer.writeFloat(i * 10.5 - 20);
        writer.writeNull();
    }
    writer.finish();
    cdsPessoas->loadFromPacket(packet);
}

void SampleScreen::FormCreate()
{
    TfrmPadrao::FormCreate();
    log.append(QStringLiteral("FormCreate"));
}

void SampleScreen::sbtIncluirClick()
{
    TfrmPadrao::sbtIncluirClick();
    log.append(QStringLiteral("sbtIncluirClick returned"));
}

void SampleScreen::sbtVerificarClick()
{
    if (verify)
        verify();
}
