#include "screenonfakeserver.h"

#include <framework/core/clock.h>
#include <framework/core/logincontext.h>
#include "sharedclients.h"

#include <QApplication>
#include <QTest>

ScreenOnFakeServer::ScreenOnFakeServer()
{
    fw::setClock([] { return Moment; });
    fw::LoginContext context;
    context.filial = QStringLiteral("0001");
    context.operador = QStringLiteral("0007");
    context.nomeOperador = QStringLiteral("ANA");
    context.webPort = server.port();
    context.serverTls = false; // the stand-in server speaks plain TCP
    fw::setLoginContext(context);
    server.answer(QStringLiteral("getMovCliente"), [this](const fw::Request &r) {
        return fw::encodeReply(r.id, fw::encodeEnvelope(true, {}, QByteArrayView(statementPacket(statement))));
    });
    server.answerOk(QStringLiteral("setAtualizaCons"), true);
    server.answerBare(QStringLiteral("getPrxMovClie"), QStringLiteral("0000000003"));
    server.answer(QStringLiteral("getConsumidor"), [](const fw::Request &r) {
        return fw::encodeReply(r.id, fw::encodeEnvelope(true, {}, QByteArrayView(consumersPacket(C1, {{Record42, "Ana"}}))));
    });
    m_screen = std::make_unique<acc00420::TfrmPagClie>();
    m_screen->create();
    m_screen->show();
    QApplication::setActiveWindow(m_screen.get());
    QTest::qWaitForWindowActive(m_screen.get());
}

ScreenOnFakeServer::~ScreenOnFakeServer()
{
    m_screen.reset();
    fw::setClock({});
}

bool ScreenOnFakeServer::load(const QList<TestMovement> &movements)
{
    statement = movements;
    m_screen->depDe->setFocus();
    m_screen->medCdCliente->setText(CPF);
    m_screen->edtConsumidor->setText(QStringLiteral("42"));
    m_screen->dbgPadrao->setFocus();
    const bool loaded = dialogs.shown.isEmpty() && set().active();
    server.calls.clear();
    return loaded;
}

void ScreenOnFakeServer::key(int key, Qt::KeyboardModifiers modifiers)
{
    QWidget *focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : m_screen.get(), Qt::Key(key), modifiers);
}

QString ScreenOnFakeServer::focusName() const
{
    return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
}

fw::Delta ScreenOnFakeServer::sentDelta(int n) const
{
    for (const FakeAppServer::Call &c : server.calls) {
        if (c.method == QLatin1String("SetMovCliente") && n-- == 0)
            return fw::deltaFromCbor(c.args.at(0));
    }
    return {};
}

QList<int> ScreenOnFakeServer::busyKinds() const
{
    QList<int> kinds;
    for (const FakeAppServer::Call &c : server.calls)
        kinds.append(c.busyKind);
    return kinds;
}

QVariant sentValue(const fw::Delta &delta, const char *name, int change)
{
    const int i = delta.indexOf(QLatin1String(name));
    if (i < 0)
        return QStringLiteral("(not sent)");
    const fw::DeltaChange &c = delta.changes.at(change);
    const fw::Value &v = (c.newValues.isEmpty() ? c.oldValues : c.newValues).at(i);
    if (const auto *text = std::get_if<QString>(&v))
        return *text;
    if (const auto *number = std::get_if<double>(&v))
        return *number;
    if (const auto *integer = std::get_if<qint64>(&v))
        return delta.fields.at(i).type == fw::FieldType::DateTime ? QVariant(QDateTime::fromMSecsSinceEpoch(*integer))
                                                                  : QVariant(*integer);
    return {};
}
