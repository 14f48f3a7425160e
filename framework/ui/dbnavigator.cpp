#include "dbnavigator.h"

#include <framework/ui/handlerguard.h>

#include <QHBoxLayout>
#include <QToolButton>

namespace fw {

TDBNavigator::TDBNavigator(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    m_first = button("navPrimeiro", QStringLiteral("|◀"), QStringLiteral("Primeiro registro"), &RecordSet::first);
    m_prior = button("navAnterior", QStringLiteral("◀"), QStringLiteral("Registro anterior"), &RecordSet::prior);
    m_next = button("navProximo", QStringLiteral("▶"), QStringLiteral("Próximo registro"), &RecordSet::next);
    m_last = button("navUltimo", QStringLiteral("▶|"), QStringLiteral("Último registro"), &RecordSet::last);
    for (QToolButton *b : {m_first, m_prior, m_next, m_last})
        layout->addWidget(b);
    layout->addStretch();
    refresh();
}

QToolButton *TDBNavigator::button(const char *name, const QString &text, const QString &hint, void (RecordSet::*step)())
{
    auto *b = new QToolButton(this);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setToolTip(hint);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QToolButton::clicked, this, [this, step] {
        if (RecordSet *set = m_source ? m_source->dataSet() : nullptr)
            guarded([&] { (set->*step)(); });
    });
    return b;
}

void TDBNavigator::setDataSource(DataSource *source)
{
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_source = source;
    if (m_source) {
        auto rewire = [this] { setDataSource(m_source); };
        m_connections.append(connect(m_source, &DataSource::dataSetChanged, this, rewire));
        if (RecordSet *set = m_source->dataSet()) {
            m_connections.append(connect(set, &RecordSet::currentChanged, this, &TDBNavigator::refresh));
            m_connections.append(connect(set, &RecordSet::stateChanged, this, &TDBNavigator::refresh));
            m_connections.append(connect(set, &RecordSet::reset, this, &TDBNavigator::refresh));
        }
    }
    refresh();
}

void TDBNavigator::refresh()
{
    RecordSet *set = m_source ? m_source->dataSet() : nullptr;
    const bool browsing = set && set->state() == DataSetState::Browse && !set->isEmpty();
    const bool atFirst = !set || set->recNo() <= 0;
    const bool atLast = !set || set->recNo() >= set->recordCount() - 1;
    m_first->setEnabled(browsing && !atFirst);
    m_prior->setEnabled(browsing && !atFirst);
    m_next->setEnabled(browsing && !atLast);
    m_last->setEnabled(browsing && !atLast);
}

} // namespace fw
