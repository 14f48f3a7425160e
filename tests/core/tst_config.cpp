#include <framework/core/configsource.h>
#include <framework/core/logincontext.h>

#include <QTemporaryDir>
#include <QTest>

using namespace fw;

class TestConfig : public QObject
{
    Q_OBJECT
private slots:
    void precedence()
    {
        QTemporaryDir dir;
        const QString ini = dir.filePath("backoffice.ini");
        QFile file(ini);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[login]\nfilial=0003\noperador=INI\nnome-operador=Maria José\nserver-port=5000\n");
        file.close();

        QProcessEnvironment env;
        env.insert("BACKOFFICE_OPERADOR", "ENV");
        env.insert("BACKOFFICE_SERVER_PORT", "6000");
        const ConfigSource config({"backoffice", "--server-port=7000", "--config=" + ini},
                                  env, "BACKOFFICE", "login");
        const LoginContext context = LoginContext::fromConfig(config);
        QCOMPARE(context.filial, QStringLiteral("0003"));          // ini only
        QCOMPARE(context.operador, QStringLiteral("ENV"));         // environment over ini
        QCOMPARE(context.webPort, quint16(7000));                  // command line over all
        QCOMPARE(context.nomeOperador, QStringLiteral("Maria José"));
        QCOMPARE(context.webUrl, QStringLiteral("127.0.0.1"));     // default
    }

    void badPortIsAnError_data()
    {
        QTest::addColumn<QString>("port");
        QTest::newRow("text") << "abc";
        QTest::newRow("zero") << "0";
        QTest::newRow("too large") << "70000";
    }
    void badPortIsAnError()
    {
        QFETCH(QString, port);
        const ConfigSource config({"--server-port=" + port}, {}, "BACKOFFICE", "login");
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, LoginContext::fromConfig(config));
    }

    void contextReadAfresh()
    {
        LoginContext context;
        context.webUrl = "10.0.0.1";
        context.webPort = 1234;
        setLoginContext(context);
        QCOMPARE(WebURL(), QStringLiteral("10.0.0.1"));
        context.webPort = 4321;
        setLoginContext(context);
        QCOMPARE(WebPort(), quint16(4321));
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
