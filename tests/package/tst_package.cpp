// The Debian packages scripts/package.sh builds, as a store's IT receives them: what they hold,
// what they depend on, and the server unpacked into a folder of its own starting and answering.

#include "serverprocess.h"
#include "storage.h"
#include "testoperator.h"

#include <framework/data/netconnection.h>
#include <framework/data/sessioncontract.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString run(const QString &program, const QStringList &arguments, int *status = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    p.waitForFinished(60000);
    if (status)
        *status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromLocal8Bit(p.readAll());
}

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_unpacked;

    QString package(const QString &name) const
    {
        const QStringList found = QDir(QStringLiteral(ACC00420_PACKAGE_DIR)).entryList({name + "_*.deb"}, QDir::Files);
        return found.isEmpty() ? QString() : QDir(QStringLiteral(ACC00420_PACKAGE_DIR)).filePath(found.first());
    }
    QStringList contents(const QString &name) const
    {
        QStringList paths;
        for (const QString &line : run("dpkg-deb", {"--contents", package(name)}).split(u'\n', Qt::SkipEmptyParts))
            paths << line.section(u' ', -1).mid(1); // "./usr/bin/x" as "/usr/bin/x"
        return paths;
    }

private slots:
    void initTestCase()
    {
        if (package("acc00420-server").isEmpty() || package("acc00420-backoffice").isEmpty())
            QSKIP("no packages in " ACC00420_PACKAGE_DIR ": scripts/package.sh builds them");
        // Both unpacked into one tree, as they install side by side on one machine.
        for (const QString name : {"acc00420-server", "acc00420-backoffice"}) {
            int status = 0;
            const QString said = run("dpkg-deb", {"-x", package(name), m_unpacked.path()}, &status);
            QVERIFY2(status == 0, qPrintable(said));
        }
    }

    // What each package must carry and depend on; the server's never needs a display.
    void eachPackageHoldsItsPartsAndDeclaresWhatItNeeds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("holds");
        QTest::addColumn<QStringList>("needs");
        QTest::addColumn<QStringList>("neverNeeds");
        QTest::newRow("server") << "acc00420-server"
                                << QStringList{"/usr/bin/acc00420-server", "/usr/lib/systemd/system/acc00420-server.service",
                                               "/etc/acc00420/server.conf", "/usr/share/doc/acc00420-server/operations.md"}
                                << QStringList{"libqt6core6", "libqt6network6", "libqt6sql6", "libsodium", "libsqlite3",
                                               "libqt6sql6-sqlite", "adduser"}
                                << QStringList{"libqt6gui6", "libqt6widgets6"};
        QTest::newRow("back office") << "acc00420-backoffice"
                                     << QStringList{"/usr/bin/backoffice", "/usr/bin/acc00420-statement", "/usr/bin/acc00420-receipt",
                                                    "/etc/acc00420/backoffice.ini", "/usr/share/applications/acc00420-backoffice.desktop",
                                                    "/usr/share/acc00420/reports/Extrato.QR2"}
                                     << QStringList{"libqt6widgets6", "libqt6printsupport6", "libqt6sql6-sqlite"} << QStringList{};
    }
    void eachPackageHoldsItsPartsAndDeclaresWhatItNeeds()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, holds);
        QFETCH(QStringList, needs);
        QFETCH(QStringList, neverNeeds);
        const QStringList paths = contents(name);
        for (const QString &path : holds)
            QVERIFY2(paths.contains(path), qPrintable(path));
        const QString depends = run("dpkg-deb", {"--field", package(name), "Depends"});
        for (const QString &dependency : needs)
            QVERIFY2(depends.contains(dependency), qPrintable(depends));
        for (const QString &dependency : neverNeeds)
            QVERIFY2(!depends.contains(dependency + ' ') && !depends.contains(dependency + ','), qPrintable(depends));
        const QString conffiles = run("dpkg-deb", {"--info", package(name), "conffiles"});
        for (const QString &path : holds) {
            if (path.startsWith("/etc/"))
                QVERIFY2(conffiles.contains(path), qPrintable(conffiles)); // an edited setting survives an upgrade
        }
    }

    // Installed side by side, the two never claim one file.
    void thePackagesShareNoFile()
    {
        const QStringList server = contents("acc00420-server");
        for (const QString &path : contents("acc00420-backoffice")) {
            if (!path.endsWith(u'/'))
                QVERIFY2(!server.contains(path), qPrintable(path));
        }
    }

    // Every program finds its libraries from where it was unpacked.
    void everyProgramRunsFromTheUnpackedTree_data()
    {
        QTest::addColumn<QString>("program");
        for (const char *program : {"acc00420-server", "backoffice", "acc00420-receipt", "acc00420-statement"})
            QTest::newRow(program) << QString::fromLatin1(program);
    }
    void everyProgramRunsFromTheUnpackedTree()
    {
        QFETCH(QString, program);
        int status = 0;
        const QString said = run(m_unpacked.filePath("usr/bin/" + program), {"--version"}, &status);
        QVERIFY2(status == 0 && said.contains(QStringLiteral(ACC00420_VERSION)), qPrintable(said));
    }

    // The unpacked server, on its shipped settings file, starts on a new ledger, signs an
    // operator in, and stops.
    void theUnpackedServerStartsAndAnswers()
    {
        const QString server = m_unpacked.filePath("usr/bin/acc00420-server");
        const QString database = m_unpacked.filePath("novo.db");
        const CommandRun made = runServerCommand(server, database, {"digest"});
        QVERIFY2(made.status == 0, qPrintable(made.err));
        {
            // The branch comes from the store's registry; the operator is made as the README says.
            const server::Storage storage(database);
            QVERIFY(QSqlQuery(storage.connection()).exec("INSERT INTO FILIAL VALUES ('0001', 'Loja')"));
        }
        const CommandRun added = runServerCommand(server, database, {"operator", "add", "0007", "--name=Operador",
                                                                     "--branches=0001", "--rights=consultar"},
                                                  TestPassword.toUtf8() + '\n');
        QVERIFY2(added.status == 0, qPrintable(added.err));
        // As the unit starts it: the ledger named by the shipped settings file alone.
        QFile shipped(m_unpacked.filePath("etc/acc00420/server.conf"));
        QVERIFY(!shipped.permissions().testFlag(QFileDevice::ReadOther)); // it may hold a password
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        QFile settings(m_unpacked.filePath("server.conf"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(shipped.readAll().replace("database=/var/lib/acc00420/acc00420.db", "database=" + database.toUtf8()));
        settings.close();
        ServerProcess process(server, QString(), {"--config=" + settings.fileName()});
        QVERIFY2(process.start(), qPrintable(process.output()));
        fw::TNetConnection connection;
        connection.setServerName(QString::fromLatin1(fw::SessionObjectName));
        connection.setPort(process.port());
        const QCborMap reply = connection.call("entrar", {"0007", TestPassword, "0001", "caixa-1"}).toValue().toMap();
        QVERIFY(!reply.value(QLatin1String("payload")).toMap().value(QLatin1String("token")).toString().isEmpty());
    }

    // The unit as shipped, its program where it was unpacked: verify checks that it runs.
    void theServiceUnitVerifies()
    {
        const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
        if (analyze.isEmpty())
            QSKIP("systemd-analyze is not installed here");
        QFile shipped(m_unpacked.filePath("usr/lib/systemd/system/acc00420-server.service"));
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        QTemporaryDir units;
        QFile unit(units.filePath("acc00420-server.service"));
        QVERIFY(unit.open(QIODevice::WriteOnly));
        unit.write(shipped.readAll().replace("=/usr/bin/", "=" + m_unpacked.filePath("usr/bin/").toUtf8()));
        unit.close();
        int status = 0;
        const QString said = run(analyze, {"verify", unit.fileName()}, &status);
        QVERIFY2(status == 0 && said.trimmed().isEmpty(), qPrintable(said));
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
