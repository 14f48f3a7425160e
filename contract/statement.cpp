#include "statement.h"

#include <QDateTime>

#include <deque>

namespace acc00420 {
namespace {

// The oldest-first matching of one balance's debits against its credits.
class OldestFirst
{
public:
    void add(qint64 moment, qint64 signedValue)
    {
        if (signedValue < 0) {
            qint64 debit = -signedValue;
            // A credit held in advance pays the new debit first.
            const qint64 used = std::min(m_credit, debit);
            m_credit -= used;
            debit -= used;
            if (debit > 0)
                m_open.push_back({moment, debit});
            return;
        }
        qint64 credit = signedValue;
        while (credit > 0 && !m_open.empty()) {
            const qint64 used = std::min(credit, m_open.front().second);
            m_open.front().second -= used;
            credit -= used;
            if (m_open.front().second == 0)
                m_open.pop_front();
        }
        m_credit += credit;
    }

    Ageing aged(QDate end) const
    {
        Ageing ageing;
        for (const auto &[moment, owed] : m_open) {
            const qint64 days = QDateTime::fromMSecsSinceEpoch(moment).date().daysTo(end);
            ageing.buckets[days <= 30 ? 0 : days <= 60 ? 1 : days <= 90 ? 2 : 3] += owed;
        }
        return ageing;
    }

private:
    std::deque<std::pair<qint64, qint64>> m_open; // unpaid debits, oldest first
    qint64 m_credit = 0;
};

} // namespace

int balanceSign(QStringView type)
{
    if (type == u"C")
        return 1;
    if (type == u"D" || type == u"A")
        return -1;
    return 0;
}

Statement buildStatement(const QList<StatementMovement> &movements, QDate from, QDate to)
{
    const qint64 start = QDateTime(from, QTime(0, 0)).toMSecsSinceEpoch();
    const qint64 end = QDateTime(to.addDays(1), QTime(0, 0)).toMSecsSinceEpoch();
    Statement s;
    Amounts running;
    OldestFirst company, personal;
    for (const StatementMovement &m : movements) {
        if (m.moment >= end)
            break;
        const int sign = balanceSign(m.type);
        running.company += sign * m.company;
        running.personal += sign * m.personal;
        company.add(m.moment, sign * m.company);
        personal.add(m.moment, sign * m.personal);
        if (m.moment < start) {
            s.carried = running;
            continue;
        }
        s.lines.append({m, running});
        Amounts &side = sign > 0 ? s.credits : s.debits;
        if (sign != 0) {
            side.company += m.company;
            side.personal += m.personal;
        }
    }
    s.closing = running;
    s.owedCompany = company.aged(to);
    s.owedPersonal = personal.aged(to);
    return s;
}

} // namespace acc00420
