#include <framework/core/messages.h>
#include "recordingdialogs.h"

#include <QTemporaryFile>
#include <QTest>

using namespace fw;

class TestMessages : public QObject
{
    Q_OBJECT
private slots:
    void textKeptExactly()
    {
        TMessages messages;
        messages.loadFromText(QStringLiteral("cancela|A venda foi cancelada pelo operador \r\n"
                                             "\n"
                                             "Cancel|Confirma cancelamento ?\n"
                                             "pipe|a|b\n"));
        QCOMPARE(messages.Msg("cancela"), QStringLiteral("A venda foi cancelada pelo operador "));
        QCOMPARE(messages.Msg("Cancel"), QStringLiteral("Confirma cancelamento ?"));
        QCOMPARE(messages.Msg("pipe"), QStringLiteral("a|b"));
    }

    void unknownKeyFailsLoudly()
    {
        TMessages messages;
        messages.loadFromText(QStringLiteral("Débito|Débito"));
        QCOMPARE(messages.Msg(QStringLiteral("Débito")), QStringLiteral("Débito"));
        QVERIFY_THROWS_EXCEPTION(UnknownMessageKey, messages.Msg("debito"));
        QVERIFY_THROWS_EXCEPTION(UnknownMessageKey, messages.ShowMsg("nada", MsgDlgType::Error, mbOK));
    }

    void malformedTableRefusedWhole_data()
    {
        QTest::addColumn<QString>("table");
        QTest::newRow("no bar") << "ok|fine\njust text\n";
        QTest::newRow("empty key") << "|text\n";
        QTest::newRow("repeated key") << "a|1\na|2\n";
    }
    void malformedTableRefusedWhole()
    {
        QFETCH(QString, table);
        TMessages messages;
        messages.loadFromText(QStringLiteral("kept|yes"));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, messages.loadFromText(table));
        QCOMPARE(messages.Msg("kept"), QStringLiteral("yes"));
    }

    void showMsgReturnsTheButton()
    {
        RecordingDialogs dialogs;
        dialogs.answers = {mrYes};
        TMessages messages;
        messages.loadFromText(QStringLiteral("Cancel|Confirma cancelamento ?"));
        QCOMPARE(messages.ShowMsg("Cancel", MsgDlgType::Confirmation, mbYes | mbNo, 0), 6);
        QCOMPARE(dialogs.shown.front().text, QStringLiteral("Confirma cancelamento ?"));
        QCOMPARE(dialogs.shown.front().buttons, mbYes | mbNo);
    }

    void loadsUtf8File()
    {
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write("Cons_Inf|Consumidor deve ser informado.\n");
        file.close();
        TMessages messages;
        messages.loadFromFile(file.fileName());
        QCOMPARE(messages.Msg("Cons_Inf"), QStringLiteral("Consumidor deve ser informado."));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, messages.loadFromFile("/nonexistent/msgs.txt"));
    }
};

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"
