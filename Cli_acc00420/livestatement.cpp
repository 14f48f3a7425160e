// Keeping the statement current: while an account is open, the server tells this connection
// each change to it, wherever it was made; what changed since the version on the grid comes in
// and is merged, the current movement kept. An entry or an edit in progress is never disturbed:
// what came meanwhile is brought in once the statement is browsed again.

#include "acc00420module.h"
#include "movementfields.h"
#include "screen.h"

#include <framework/core/abort.h>
#include <framework/core/clock.h>
#include <framework/data/checkresultserv.h>
#include <framework/ui/handlerguard.h>

#include <QApplication>
#include <QCborMap>
#include <QSet>
#include <QTimer>

namespace acc00420 {
namespace {

constexpr int RetryMs = 1000;
constexpr int LongestRetryMs = 30000;

// Each failure in a row waits twice as long before the next try, up to LongestRetryMs.
void backOff(QTimer *timer)
{
    timer->setInterval(std::min(timer->interval() * 2, LongestRetryMs));
    timer->start();
}

const QStringList StatementOrder = {QStringLiteral("DTMOVCLI"), QStringLiteral("NRSEQMOVCLI")};

// "0012", "0012 e 0007", "0012, 0007 e 0031".
QString listed(const QStringList &codes)
{
    if (codes.size() < 2)
        return codes.value(0);
    return codes.mid(0, codes.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" e ") + codes.last();
}

} // namespace

void TfrmPagClie::bindLiveStatementEvents()
{
    m_catchUp = new QTimer(this);
    m_catchUp->setSingleShot(true);
    m_catchUp->setInterval(RetryMs);
    connect(m_catchUp, &QTimer::timeout, this, [this] { catchUpWhenFree(); });
    m_resume = new QTimer(this);
    m_resume->setInterval(RetryMs);
    connect(m_resume, &QTimer::timeout, this, [this] {
        if (fw::screenClosing(this) || m_watched.isEmpty() || netPagClie->connected()) {
            m_resume->stop();
            return;
        }
        backOff(m_resume);
        try {
            netPagClie->openInBackground();
        } catch (const fw::ServerCallError &) {
            // The configuration can't be read now: tried again later, as a server away would be.
        }
    });
    connect(netPagClie, &fw::TNetConnection::serverEvent, this, [this](const QString &name, const QCborMap &fields) {
        if (name == QLatin1String("conta") && !fw::screenClosing(this))
            accountChanged(fields.value(QLatin1String("cdcliente")).toString(),
                           quint64(fields.value(QLatin1String("versao")).toInteger()));
    });
    connect(netPagClie, &fw::TNetConnection::connectedChanged, this, [this](bool connected) {
        if (!connected && !m_watched.isEmpty() && !fw::screenClosing(this) && !m_resume->isActive())
            m_resume->start(RetryMs);
    });
    connect(netPagClie, &fw::TNetConnection::opened, this, [this] {
        if (!m_watched.isEmpty() && !fw::screenClosing(this))
            resumeWatching();
    });
}

void TfrmPagClie::watchAccount()
{
    stopWatching();
    // Asked before the statement is read: a change made between the two is then told, never
    // lost; one already in the statement is merged again, to no effect.
    quint64 version = 0;
    try {
        const QCborMap answer = fw::CheckResultServ(service().acompanhar(selectedClient()), false, 0).toValue().toMap();
        version = quint64(answer.value(QLatin1String("versao")).toInteger());
    } catch (const fw::Abort &) {
    } catch (const fw::ServerCallError &) {
    }
    if (version == 0)
        return; // a server that can't tell: the statement is read whole, as it always was
    m_watched = selectedClient();
    m_version = m_announced = version;
    m_statementStart = startDate();
    m_statementConsumer = statementConsumer();
}

void TfrmPagClie::stopWatching()
{
    m_resume->stop();
    m_catchUp->stop();
    if (m_watched.isEmpty())
        return;
    const QString client = std::exchange(m_watched, {});
    m_version = m_announced = 0;
    if (!netPagClie->connected())
        return; // the server forgot it with the connection
    try {
        service().deixar(client);
    } catch (const fw::ServerCallError &) {
        // Gone with the connection: nothing is watched any more either.
    }
}

void TfrmPagClie::resumeWatching()
{
    m_resume->stop();
    if (netPagClie->calling()) {
        m_resume->start(RetryMs); // the connection is open: the next tick watches again
        return;
    }
    try {
        const QCborMap answer = fw::CheckResultServ(service().acompanhar(m_watched), false, 0).toValue().toMap();
        if (!answer.value(QLatin1String("versao")).isInteger())
            throw fw::Abort();
    } catch (const std::exception &) {
        // Refused or lost again: not watched, so tried again, less often each time.
        backOff(m_resume);
        return;
    }
    // What changed while the connection was down is there even if no event says so.
    m_announced = std::numeric_limits<quint64>::max();
    catchUpWhenFree();
}

void TfrmPagClie::accountChanged(const QString &client, quint64 version)
{
    if (client != m_watched || version <= m_version)
        return;
    m_announced = std::max(m_announced, version);
    catchUpWhenFree();
}

void TfrmPagClie::catchUpWhenFree()
{
    if (m_watched.isEmpty() || m_announced <= m_version || !cdsMovCliente->active())
        return;
    // Not under an entry, an edit, a change not yet sent, a question to the operator or a call
    // still waiting: then later, when the statement is browsed again (a posting's own reload
    // brings it all).
    if (cdsMovCliente->state() != fw::DataSetState::Browse || hasPendingChanges() || QApplication::activeModalWidget()
        || netPagClie->calling()) {
        m_catchUp->start(RetryMs);
        return;
    }
    m_catchUp->stop();
    try {
        const bool wasEmpty = cdsMovCliente->isEmpty();
        const QString arrived = bringStatementUpToDate(false);
        if (wasEmpty != cdsMovCliente->isEmpty()) {
            setPageEnabled(tshFolhaDados, !cdsMovCliente->isEmpty());
            mnuFolhaDados->setEnabled(!cdsMovCliente->isEmpty());
            showStatementPages();
        }
        // A change to another consumer's movements brings nothing to this statement: no word.
        if (!arrived.isEmpty())
            showStatus(QStringLiteral("Atualizado às %1: %2").arg(fw::Now().toString(QStringLiteral("HH:mm")), arrived));
        if (m_announced == std::numeric_limits<quint64>::max())
            m_announced = m_version; // caught up after a reconnection
        m_catchUp->setInterval(RetryMs);
    } catch (const std::exception &e) {
        // Refused, lost, or an answer that could not be read: the statement stays as it is and
        // the status bar says so; tried again, less often each time.
        showStatus(QStringLiteral("O extrato não pôde ser atualizado (%1); nova tentativa em instantes.")
                       .arg(fw::failureMessage(e)));
        backOff(m_catchUp);
    }
}

QString TfrmPagClie::bringStatementUpToDate(bool report)
{
    const fw::CborItem payload = fw::CheckResultServ(
        service().getMovClienteDesde(m_statementConsumer.first, m_statementConsumer.second, m_watched, m_statementStart, m_version), report, 0);
    const fw::CborItem rows = payload.member(QLatin1String("linhas"));
    const QCborValue version = payload.member(QLatin1String("versao")).toValue();
    if (rows.isEmpty() || !version.isInteger()) {
        loadWholeStatement(); // not an answer to go on from: read it whole
        stopWatching();
        return QStringLiteral("extrato recarregado");
    }
    QString arrived;
    if (payload.member(QLatin1String("completo")).toValue().toBool()) {
        const QString current = cdsMovCliente->active() && !cdsMovCliente->isEmpty()
            ? cdsMovCliente->field(MovementField::NRSEQMOVCLI).asString()
            : QString();
        cdsMovCliente->loadFromPacket(rows.bytes());
        if (!current.isEmpty())
            cdsMovCliente->locate(QStringLiteral("NRSEQMOVCLI"), current, Qt::CaseSensitive);
        arrived = QStringLiteral("extrato recarregado");
    } else {
        arrived = describeArrivals(rows.bytes());
        cdsMovCliente->mergeFromPacket(rows.bytes(), QStringLiteral("NRSEQMOVCLI"), StatementOrder);
    }
    m_version = quint64(version.toInteger());
    m_announced = std::max(m_announced, m_version);
    return arrived;
}

QString TfrmPagClie::describeArrivals(QByteArrayView rows) const
{
    fw::RecordSet incoming;
    defineMovementFields(incoming);
    incoming.loadFromPacket(rows);
    // A movement counts when it is new here or was touched again (a cancellation); one whose
    // balances alone moved does not.
    QHash<QString, fw::Value> touched; // movement → the moment it was last touched
    for (int i = 0; i < incoming.recordCount(); ++i)
        touched.insert(incoming.textAt(i, MovementField::NRSEQMOVCLI), incoming.valueAt(i, MovementField::DTATUMOVCLIE));
    QSet<QString> unchanged;
    for (int i = 0; i < cdsMovCliente->recordCount() && unchanged.size() < touched.size(); ++i) {
        const auto it = touched.constFind(cdsMovCliente->textAt(i, MovementField::NRSEQMOVCLI));
        if (it != touched.cend() && *it == cdsMovCliente->valueAt(i, MovementField::DTATUMOVCLIE))
            unchanged.insert(it.key());
    }
    if (incoming.isEmpty())
        return {};
    int count = 0;
    QStringList operators;
    for (int i = 0; i < incoming.recordCount(); ++i) {
        if (unchanged.contains(incoming.textAt(i, MovementField::NRSEQMOVCLI)))
            continue;
        ++count;
        const QString op = incoming.textAt(i, MovementField::CDOPERADOR);
        if (!op.isEmpty() && !operators.contains(op))
            operators.append(op);
    }
    if (count == 0)
        return QStringLiteral("saldos recalculados");
    QString text = count == 1 ? QStringLiteral("1 lançamento") : QStringLiteral("%1 lançamentos").arg(count);
    if (!operators.isEmpty())
        text += QStringLiteral(" de ") + listed(operators);
    return text;
}

} // namespace acc00420
