#include "appserver.h"
#include "btnpesquisa.h"
#include "dbgeral.h"
#include "demodata.h"
#include "formatsettings.h"
#include "frmpadrao.h"
#include "hostservices.h"
#include "ledger.h"
#include "logincontext.h"
#include "messageboxdialogs.h"
#include "recordingdialogs.h"
#include "schema.h"

#include <QLibrary>
#include <QMainWindow>
#include <QMdiArea>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The whole way, as the operator goes: the module loaded by QLibrary, the real server on a
// temporary demo database, the keyboard only.
class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void pickClientAndConsumerByKeyboardAndReadTheStatement()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("demo.db"));
        server::Storage storage(file);
        server::migrate(storage.connection(), storage.kind());
        server::createDemoData(storage, QDate::currentDate());
        server::Dispatcher dispatcher;
        server::Ledger ledger(storage);
        ledger.publish(dispatcher);
        server::AppServer appServer(dispatcher, {});
        QVERIFY(appServer.listen(nullptr));
        fw::dtmDBGeral().open(file);

        fw::LoginContext context;
        context.filial = QStringLiteral("0001");
        context.operador = QStringLiteral("0007");
        context.webPort = appServer.port();
        fw::setLoginContext(context);
        RecordingDialogs dialogs;
        QMainWindow main;
        auto *area = new QMdiArea(&main);
        main.setCentralWidget(area);
        main.resize(1100, 700);
        main.show();
        QApplication::setActiveWindow(&main);
        QVERIFY(QTest::qWaitForWindowActive(&main));
        fw::hostServices().mainWindow = &main;
        fw::hostServices().mdiArea = area;

        QLibrary module(QStringLiteral(PKG_ACC00420_PATH));
        QVERIFY2(module.load(), qPrintable(module.errorString()));
        reinterpret_cast<void (*)()>(module.resolve("IniProc"))();
        auto *screen = reinterpret_cast<QPointer<fw::TfrmPadrao> *>(module.resolve("frmPagClie"))->data();
        QVERIFY(screen);
        QTRY_COMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("medCdCliente"));

        // The client by its CNPJ, then Tab to the consumer.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("11222333000181"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("edtConsumidor"));
        QCOMPARE(screen->findChild<QLineEdit *>("edtNmCliente")->text(), QStringLiteral("Cantina Metalúrgica Sul"));

        // F4 lists the consumers; typing the start of a code finds it, Enter takes it.
        bool listed = false;
        QTimer operatorAtTheList; // the list opens after the server answered
        connect(&operatorAtTheList, &QTimer::timeout, [&] {
            auto *list = qobject_cast<fw::SearchListDialog *>(QApplication::activeModalWidget());
            if (!list)
                return;
            operatorAtTheList.stop();
            listed = list->list()->model()->rowCount() == 4;
            QTest::keyClicks(list->finder(), QStringLiteral("000000000000000000002"));
            QTest::keyClick(list->finder(), Qt::Key_Return);
        });
        operatorAtTheList.start(10);
        QVERIFY(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F4);
        QVERIFY(listed);
        const QString consumer = QStringLiteral("000000000000000000002");
        QCOMPARE(screen->findChild<QLineEdit *>("edtConsumidor")->text(), consumer);
        QCOMPARE(screen->findChild<QLineEdit *>("edtNmConsum")->text(), QStringLiteral("Bruno Henrique Alves"));

        // Tab to the start date, Tab out of the panel: the statement loads.
        QTRY_VERIFY(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("dateText"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join('\n')));

        const qint64 start = QDateTime(QDate::currentDate().addDays(-60), QTime(0, 0)).toMSecsSinceEpoch();
        QSqlQuery expected(fw::dtmDBGeral().database());
        expected.prepare(QStringLiteral("SELECT NRSEQMOVCLI, VRSALDOCONS, VRSALDPECONS FROM MOVICLIE WHERE CDCLIENTE = ?"
                                        " AND CDCONSUMIDOR = ? AND DTMOVCLI >= ? ORDER BY DTMOVCLI, NRSEQMOVCLI"));
        expected.addBindValue(QStringLiteral("000000000000000000001"));
        expected.addBindValue(consumer);
        expected.addBindValue(start);
        QVERIFY(expected.exec());
        QAbstractItemModel *grid = screen->dbgPadrao->model();
        auto column = [&](const QString &field) { return screen->dbgPadrao->recordModel()->columnOfField(field); };
        int row = 0;
        while (expected.next()) {
            QVERIFY(row < grid->rowCount());
            QCOMPARE(grid->index(row, column("VRSALDOCONS")).data().toString(),
                     fw::FormatFloat(QStringLiteral("0.00"), expected.value(1).toLongLong() / 100.0));
            QCOMPARE(grid->index(row, column("VRSALDPECONS")).data().toString(),
                     fw::FormatFloat(QStringLiteral("0.00"), expected.value(2).toLongLong() / 100.0));
            ++row;
        }
        QVERIFY(row > 0);
        QCOMPARE(grid->rowCount(), row);
        screen->close();
        fw::dtmDBGeral().close();
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
