#include <framework/core/checks.h>
#include <framework/data/datapacket.h>
#include <framework/ui/dateeditplus.h>
#include <framework/ui/maskedit.h>
#include <framework/ui/messageboxdialogs.h>
#include <framework/ui/numberedit.h>
#include "recordingdialogs.h"
#include <framework/data/recordset.h>
#include "samplescreen.h"
#include <framework/ui/widgetutils.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace fw;

class TestControls : public QObject
{
    Q_OBJECT
private slots:
    void dateEditCanShowNoDate()
    {
        TDateEditPlus edit;
        QVERIFY(!edit.GetDate().isValid());
        QVERIFY(EmptyString(edit.Text()));
        edit.SetDate(QDate(2026, 10, 8));
        QCOMPARE(edit.edit()->text(), QStringLiteral("08/10/2026"));
        QCOMPARE(edit.GetDate(), QDate(2026, 10, 8));
        edit.SetDate(QDate());
        QVERIFY(!edit.GetDate().isValid());
        QVERIFY(edit.Text().isEmpty());
    }

    void dateEditTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QDate>("date");
        QTest::newRow("whole date") << "07122026" << QDate(2026, 12, 7);
        QTest::newRow("no such day") << "31022026" << QDate();
        QTest::newRow("half typed") << "0712" << QDate();
    }
    void dateEditTyped()
    {
        QFETCH(QString, typed);
        QFETCH(QDate, date);
        TDateEditPlus edit;
        edit.show();
        edit.edit()->setFocus();
        edit.edit()->home(false);
        QTest::keyClicks(edit.edit(), typed);
        QCOMPARE(edit.GetDate(), date);
        QVERIFY(!edit.Text().isEmpty());
    }

    void numberEdit_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("number");
        QTest::addColumn<QString>("shown");
        QTest::newRow("comma") << "12,5" << 12.5 << "12,50";
        QTest::newRow("keypad point") << "12.5" << 12.5 << "12,50";
        QTest::newRow("zero") << "0" << 0.0 << "0,00";
        QTest::newRow("negative") << "-3" << -3.0 << "-3,00";
        QTest::newRow("letters refused") << "1a2" << 12.0 << "12,00";
        QTest::newRow("third decimal refused") << "1,239" << 1.23 << "1,23";
        QTest::newRow("blank") << "" << 0.0 << "";
    }
    void numberEdit()
    {
        QFETCH(QString, typed);
        QFETCH(double, number);
        QFETCH(QString, shown);
        QWidget window;
        auto *edit = new TNumberEdit(&window);
        auto *other = new QLineEdit(&window);
        other->move(0, 40);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        edit->setFocus();
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->GetNumber(), number);
        other->setFocus();
        QCOMPARE(edit->text(), shown);
        edit->SetNumber(1234567.5);
        QCOMPARE(edit->text(), QStringLiteral("1234567,50")); // no thousands separator
    }

    void maskEditBlankReadsBlank()
    {
        TMaskEdit edit;
        edit.setEditMask(PictPess("F"));
        QVERIFY(!edit.text().isEmpty()); // the mask's separators
        QVERIFY(EmptyString(edit.Text()));
        edit.setText("52998224725");
        QCOMPARE(edit.text(), QStringLiteral("529.982.247-25"));
        QCOMPARE(edit.Text(), QStringLiteral("52998224725"));
        QString typed = edit.Text();
        QCOMPARE(Ajusta_Inscricao(typed), QStringLiteral("F"));
    }

    void memoTakesNoMoreThanTheField()
    {
        SampleScreen screen;
        screen.load(1);
        screen.show();
        screen.dbmObservacao->setFocus();
        QTest::keyClicks(screen.dbmObservacao, "123456789012");
        QCOMPARE(screen.dbmObservacao->maxLength(), 10);
        QCOMPARE(screen.dbmObservacao->toPlainText(), QStringLiteral("1234567890"));
        QCOMPARE(screen.cdsPessoas->state(), DataSetState::Edit); // typing started the edit
        QCOMPARE(screen.cdsPessoas->fieldByName("OBS").asString(), QStringLiteral("1234567890"));
    }

    void searchButtonRaisesItsEvents()
    {
        RecordingDialogs dialogs;
        SampleScreen screen;
        QStringList events;
        screen.btnPessoa->OnBeforePesq = [&](TBtnPesquisa &) {
            events.append("before");
            screen.load(3);
        };
        screen.btnPessoa->OnAfterPesq = [&](TBtnPesquisa &) {
            events.append("after");
            screen.edtCodigo->setText(screen.cdsPessoas->fieldByName("ID").asString());
        };
        dialogs.chooser = [](QWidget *, const QString &title, RecordSet &) {
            return title == "Pessoa" ? std::optional<int>(2) : std::nullopt;
        };
        screen.show();
        screen.edtCodigo->setFocus();
        QTest::keyClick(screen.edtCodigo, Qt::Key_F4);
        QCOMPARE(events, (QStringList{"before", "after"}));
        QCOMPARE(screen.edtCodigo->text(), QStringLiteral("3"));
        QCOMPARE(screen.cdsPessoas->recNo(), 2);

        // Nothing chosen: no after-search.
        dialogs.chooser = [](QWidget *, const QString &, RecordSet &) { return std::optional<int>(); };
        events.clear();
        QTest::mouseClick(screen.btnPessoa, Qt::LeftButton);
        QCOMPARE(events, QStringList{"before"});
        dialogs.chooser = {};
    }

    void searchButtonSaysWhenTheListIsEmpty()
    {
        RecordingDialogs dialogs;
        SampleScreen screen;
        bool after = false;
        screen.btnPessoa->OnBeforePesq = [&](TBtnPesquisa &) { screen.load(0); };
        screen.btnPessoa->OnAfterPesq = [&](TBtnPesquisa &) { after = true; };
        QVERIFY(!screen.btnPessoa->search());
        QCOMPARE(dialogs.texts(), QStringList{"Não há pessoa cadastrada."});
        QVERIFY(!after);

        // A before-search that aborts ends the search there.
        dialogs.shown.clear();
        screen.btnPessoa->OnBeforePesq = [](TBtnPesquisa &) { MensErro(QStringLiteral("Cliente deve ser informado.")); };
        QVERIFY(!screen.btnPessoa->search());
        QCOMPARE(dialogs.texts(), QStringList{"Cliente deve ser informado."});
    }

    void searchListTypeAhead()
    {
        SampleScreen screen;
        screen.load(6);
        SearchListDialog dialog(QStringLiteral("Pessoa"), *screen.cdsPessoas);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Pessoa"));
        QTest::keyClicks(dialog.finder(), "5");
        QCOMPARE(dialog.currentRow(), 4);
        QTest::keyClick(dialog.finder(), Qt::Key_Up);
        QCOMPARE(dialog.currentRow(), 3);
        QTest::keyClick(dialog.finder(), Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.list()->model()->columnCount(), 4);
    }

    // Padded codes are found by their significant digits, names by their start, and each
    // column shows its values whole.
    void searchListFindsCodeOrName_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("row");
        QTest::newRow("code as stored") << "000000000000000000123" << 2;
        QTest::newRow("significant digits") << "12" << 1;
        QTest::newRow("significant digits, longer") << "123" << 2;
        QTest::newRow("name, any case") << "bru" << 1;
        QTest::newRow("name with accent") << "Fáb" << 2;
        QTest::newRow("no match stays") << "zz" << 0;
    }
    void searchListFindsCodeOrName()
    {
        QFETCH(QString, typed);
        QFETCH(int, row);
        RecordSet consumers;
        consumers.addField({QStringLiteral("CODIGO"), FieldType::String, 21, QStringLiteral("Código")});
        consumers.addField({QStringLiteral("NOME"), FieldType::String, 50, QStringLiteral("Nome")});
        QByteArray packet;
        DataPacketWriter writer(&packet, {{QStringLiteral("CODIGO"), FieldType::String, 21},
                                          {QStringLiteral("NOME"), FieldType::String, 50}}, 3);
        for (const auto &[code, name] : {std::pair{"000000000000000000007", "Ana Souza"},
                                         std::pair{"000000000000000000012", "Bruno Lima"},
                                         std::pair{"000000000000000000123", "Fábio Reis"}}) {
            writer.beginRow();
            writer.writeString(QString::fromLatin1(code));
            writer.writeString(QString::fromUtf8(name));
        }
        writer.finish();
        consumers.loadFromPacket(packet);
        SearchListDialog dialog(QStringLiteral("Consumidor"), consumers);
        dialog.show();
        for (QChar c : typed) // keyClicks knows ASCII only
            QTest::sendKeyEvent(QTest::Click, dialog.finder(), Qt::Key_unknown, QString(c), Qt::NoModifier);
        QCOMPARE(dialog.currentRow(), row);
        const QFontMetrics metrics(dialog.list()->font());
        QVERIFY(dialog.list()->columnWidth(0) > metrics.horizontalAdvance(QStringLiteral("000000000000000000123")));
    }

    void messageBoxAnswersSixForYes()
    {
        QGuiApplication::setApplicationDisplayName(QStringLiteral("Retaguarda de Lojas e Cantinas"));
        const auto restore = qScopeGuard([] { QGuiApplication::setApplicationDisplayName(QString()); });
        MessageBoxDialogs dialogs;
        QTimer::singleShot(0, [] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            QCOMPARE(box->text(), QStringLiteral("Confirma cancelamento ?"));
            QVERIFY(box->width() >= widthForTitle(*box)); // the title bar shows "Confirmação" whole
            for (QAbstractButton *b : box->buttons()) {
                if (b->text() == QStringLiteral("&Sim"))
                    b->click();
            }
        });
        QCOMPARE(dialogs.messageDlg(QStringLiteral("Confirma cancelamento ?"), MsgDlgType::Confirmation, mbYes | mbNo, 0), 6);
        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
        QCOMPARE(dialogs.messageDlg(QStringLiteral("Sair?"), MsgDlgType::Confirmation, mbYes | mbNo, 0), int(mrNo));
    }
};

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
