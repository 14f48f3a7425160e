#include <framework/core/abort.h>
#include <framework/core/checks.h>
#include <framework/core/formatsettings.h>
#include "recordingdialogs.h"

#include <QTest>

using namespace fw;

class TestChecks : public QObject
{
    Q_OBJECT
private slots:
    void inscricao_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("normalised");
        QTest::addColumn<QString>("type");
        QTest::newRow("cpf digits") << "52998224725" << "52998224725" << "F";
        QTest::newRow("cpf punctuated") << "529.982.247-25" << "52998224725" << "F";
        QTest::newRow("cpf with blanks") << " 529 982 247 25 " << "52998224725" << "F";
        QTest::newRow("cpf wrong check digit") << "52998224726" << "52998224726" << "I";
        QTest::newRow("cpf all equal digits") << "11111111111" << "11111111111" << "I";
        QTest::newRow("cnpj digits") << "11222333000181" << "11222333000181" << "J";
        QTest::newRow("cnpj punctuated") << "11.222.333/0001-81" << "11222333000181" << "J";
        QTest::newRow("cnpj wrong check digit") << "11222333000182" << "11222333000182" << "I";
        QTest::newRow("cnpj all zeros") << "00000000000000" << "00000000000000" << "I";
        QTest::newRow("short") << "123" << "123" << "I";
        QTest::newRow("12 digits") << "529982247251" << "529982247251" << "I";
        QTest::newRow("junk") << "abc-/." << "" << "I";
        QTest::newRow("empty") << "" << "" << "I";
    }
    void inscricao()
    {
        QFETCH(QString, typed);
        QFETCH(QString, normalised);
        QFETCH(QString, type);
        QString number = typed;
        QCOMPARE(Ajusta_Inscricao(number), type);
        QCOMPARE(number, normalised);
    }

    void pictPessFitsItsType_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("digits");
        QTest::newRow("F") << "F" << 11;
        QTest::newRow("J") << "J" << 14;
        QTest::newRow("I") << "I" << 21;
        QTest::newRow("unknown") << "?" << 21;
    }
    void pictPessFitsItsType()
    {
        QFETCH(QString, type);
        QFETCH(int, digits);
        const QString mask = PictPess(type);
        const QString body = mask.section(u';', 0, 0);
        QCOMPARE(body.count(u'9') + body.count(u'0'), digits);
        QCOMPARE(mask.section(u';', 1), QStringLiteral("_"));
    }

    void formatInscricao_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("shown");
        QTest::newRow("CPF") << "52998224725" << "F" << "529.982.247-25";
        QTest::newRow("CNPJ") << "45789123000191" << "J" << "45.789.123/0001-91";
        QTest::newRow("undetermined stays bare") << "123" << "I" << "123";
        QTest::newRow("too short for its type") << "5299822" << "F" << "5299822";
        QTest::newRow("too long for its type") << "529982247251" << "F" << "529982247251";
        QTest::newRow("not digits") << "ABC.DEF" << "F" << "ABC.DEF";
        QTest::newRow("empty") << "" << "J" << "";
    }
    void formatInscricao()
    {
        QFETCH(QString, number);
        QFETCH(QString, type);
        QTEST(FormatInscricao(number, type), "shown");
    }

    void ajusta_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("adjusted");
        QTest::newRow("short") << "42" << 21 << QString(19, u'0') + "42";
        QTest::newRow("blanks around") << "  42 " << 6 << "000042";
        QTest::newRow("exact") << "123456" << 6 << "123456";
        QTest::newRow("longer is not cut") << "1234567" << 6 << "1234567";
        QTest::newRow("empty") << "" << 3 << "000";
    }
    void ajusta()
    {
        QFETCH(QString, code);
        QFETCH(int, width);
        QFETCH(QString, adjusted);
        QCOMPARE(Ajusta(code, width), adjusted);
    }

    void emptyString()
    {
        QVERIFY(EmptyString(QString()));
        QVERIFY(EmptyString(QStringLiteral(" \t ")));
        QVERIFY(!EmptyString(QStringLiteral(" x ")));
    }

    void mensErroShowsThenAborts()
    {
        RecordingDialogs dialogs;
        QVERIFY_THROWS_EXCEPTION(Abort, MensErro(QStringLiteral("Valor deve ser informado.")));
        QCOMPARE(dialogs.texts(), QStringList{"Valor deve ser informado."});
        QCOMPARE(dialogs.shown.front().type, MsgDlgType::Error);
        MensErro(QStringLiteral("só aviso"), false); // no abort
        QCOMPARE(dialogs.shown.size(), 2);
    }

    void formatFloat_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("text");
        QTest::newRow("two decimals") << 12.5 << "0.00" << "12,50";
        QTest::newRow("half away from zero") << 0.125 << "0.00" << "0,13";
        QTest::newRow("negative cent") << -0.01 << "0.00" << "-0,01";
        QTest::newRow("negative rounds to zero") << -0.001 << "0.00" << "0,00";
        QTest::newRow("no thousands separator") << 1234567.891 << "0.00" << "1234567,89";
        QTest::newRow("thousands grouped") << 1234567.891 << "#,##0.00" << "1.234.567,89";
        QTest::newRow("grouped, under a thousand") << 999.995 << "#,##0.00" << "1.000,00";
        QTest::newRow("grouped, negative") << -1234.5 << "#,##0.00" << "-1.234,50";
        QTest::newRow("no format: shortest") << 12.5 << "" << "12,5";
        QTest::newRow("no format: whole") << 10.0 << "" << "10";
    }
    void formatFloat()
    {
        QFETCH(double, value);
        QFETCH(QString, format);
        QFETCH(QString, text);
        QCOMPARE(FormatFloat(format, value), text);
    }

    void floatToStrFollowsSeparator()
    {
        const FormatSettings saved = formatSettings();
        FormatSettings dot = saved;
        dot.decimalSeparator = u'.';
        setFormatSettings(dot);
        QCOMPARE(FloatToStr(12.5), QStringLiteral("12.5"));
        setFormatSettings(saved);
        QCOMPARE(FloatToStr(12.5), QStringLiteral("12,5"));
        QCOMPARE(StrToFloat(QStringLiteral("12,5")), std::optional<double>(12.5));
        QCOMPARE(StrToFloat(QStringLiteral("x")), std::nullopt);
    }

    void dateTimeText()
    {
        const QDateTime moment(QDate(2026, 12, 7), QTime(10, 30, 0));
        QCOMPARE(DateTimeToStr(moment), QStringLiteral("07/12/2026 10:30:00"));
        QCOMPARE(DateToStr(QDate(1899, 12, 30)), QStringLiteral("30/12/1899"));
    }
};

QTEST_GUILESS_MAIN(TestChecks)
#include "tst_checks.moc"
