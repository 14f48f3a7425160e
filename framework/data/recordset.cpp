#include "recordset.h"

#include <framework/data/datasource.h>


#include <QHash>

#include <algorithm>

namespace fw {

// Makes fields read (and calculated fields write) one given record for the scope's length.
class RecordSet::ActiveRecordScope
{
public:
    ActiveRecordScope(const RecordSet &set, ActiveRecord record)
        : m_set(set)
        , m_previous(set.m_override)
    {
        m_set.m_override = record;
    }
    ~ActiveRecordScope() { m_set.m_override = m_previous; }

private:
    const RecordSet &m_set;
    std::optional<ActiveRecord> m_previous;
};

RecordSet::RecordSet(QObject *parent)
    : QObject(parent)
{
}

RecordSet::~RecordSet()
{
    for (const auto &source : std::as_const(m_dataSources)) {
        if (source)
            source->m_dataSet = nullptr;
    }
}

// ----------------------------------------------------------------------------------- fields

Field &RecordSet::addField(const FieldDef &def)
{
    if (active())
        throw DataSetError(QStringLiteral("%1: campos só podem ser definidos com o conjunto fechado")
                               .arg(objectName()).toStdString());
    if (findField(def.name))
        throw DataSetError(QStringLiteral("%1: campo %2 repetido").arg(objectName(), def.name).toStdString());
    m_fields.push_back(std::make_unique<Field>(*this, int(m_fields.size()), def));
    return *m_fields.back();
}

Field *RecordSet::findField(const QString &name) const
{
    for (const auto &f : m_fields) {
        if (f->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    }
    return nullptr;
}

Field &RecordSet::fieldByName(const QString &name) const
{
    if (Field *f = findField(name))
        return *f;
    throw DataSetError(QStringLiteral("%1: campo %2 não existe").arg(objectName(), name).toStdString());
}

// ------------------------------------------------------------------------------ active record

RecordSet::ActiveRecord RecordSet::activeRecord() const
{
    if (m_override)
        return *m_override;
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        return {const_cast<std::vector<Value> *>(&m_buffer), -1};
    if (m_cursor >= 0)
        return {nullptr, m_order[size_t(m_cursor)]};
    return {};
}

RecordSet::ActiveRecord RecordSet::recordAt(int position) const
{
    if (position < 0 || position >= recordCount())
        throw DataSetError(QStringLiteral("%1: registro %2 fora do conjunto").arg(objectName()).arg(position).toStdString());
    auto *buffer = const_cast<std::vector<Value> *>(&m_buffer);
    if (m_state == DataSetState::Insert) {
        if (position == m_insertPosition)
            return {buffer, -1};
        if (position > m_insertPosition)
            --position;
    } else if (m_state == DataSetState::Edit && position == m_cursor) {
        return {buffer, -1};
    }
    return {nullptr, m_order[size_t(position)]};
}

Value RecordSet::readValue(const Field &f) const
{
    const ActiveRecord record = activeRecord();
    if (record.buffer)
        return (*record.buffer)[size_t(f.index())];
    if (record.slot >= 0)
        return m_columns[size_t(f.index())].value(quint32(record.slot));
    return {};
}

void RecordSet::writeValue(const Field &f, const Value &value)
{
    const auto i = size_t(f.index());
    if (m_override) {
        if (!f.calculated())
            throw DataSetError(QStringLiteral("%1: só campos calculados são escritos no cálculo (%2)")
                                   .arg(objectName(), f.fieldName()).toStdString());
        if (m_override->buffer)
            (*m_override->buffer)[i] = value;
        else
            m_columns[i].set(quint32(m_override->slot), value);
        return;
    }
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        throw DataSetError(QStringLiteral("%1: o registro não está em edição para alterar %2")
                               .arg(objectName(), f.fieldName()).toStdString());
    m_buffer[i] = value;
    if (!f.calculated())
        computeBuffer();
    emit rowChanged(m_cursor);
}

// --------------------------------------------------------------------------- state and events

int RecordSet::recordCount() const
{
    return int(m_order.size()) + (m_state == DataSetState::Insert ? 1 : 0);
}

void RecordSet::checkActive(const char *operation) const
{
    if (!active())
        throw DataSetError(QStringLiteral("%1: %2 com o conjunto de dados fechado")
                               .arg(objectName(), QLatin1String(operation)).toStdString());
}

void RecordSet::checkBrowseMode()
{
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        post();
}

void RecordSet::setState(DataSetState state)
{
    if (m_state == state)
        return;
    m_state = state;
    for (const auto &source : std::as_const(m_dataSources)) {
        if (source)
            source->notifyStateChange();
    }
    emit stateChanged();
}

void RecordSet::fire(const Event &event)
{
    if (event)
        event(*this);
}

void RecordSet::updateBounds()
{
    const bool empty = isEmpty();
    m_bof = empty || m_cursor <= 0;
    m_eof = empty;
}

void RecordSet::computeSlot(quint32 slot)
{
    if (!onCalcFields)
        return;
    ActiveRecordScope scope(*this, {nullptr, slot});
    for (const auto &f : m_fields) {
        if (f->calculated())
            m_columns[size_t(f->index())].set(slot, Value());
    }
    onCalcFields(*this);
}

void RecordSet::computeBuffer()
{
    if (!onCalcFields)
        return;
    ActiveRecordScope scope(*this, {&m_buffer, -1});
    for (const auto &f : m_fields) {
        if (f->calculated())
            m_buffer[size_t(f->index())] = Value();
    }
    onCalcFields(*this);
}

std::vector<Value> RecordSet::readSlot(quint32 slot) const
{
    std::vector<Value> values;
    values.reserve(m_columns.size());
    for (const ColumnStore &c : m_columns)
        values.push_back(c.value(slot));
    return values;
}

quint32 RecordSet::appendSlot(const std::vector<Value> &values)
{
    for (size_t i = 0; i < m_columns.size(); ++i)
        m_columns[i].append(values[i]);
    const quint32 slot = m_columns.empty() ? 0 : m_columns.front().size() - 1;
    computeSlot(slot);
    return slot;
}

bool RecordSet::isPendingAt(int position) const
{
    const ActiveRecord record = recordAt(position);
    return record.slot >= 0 && logIndexOfNewSlot(quint32(record.slot)) >= 0;
}

int RecordSet::logIndexOfNewSlot(quint32 slot) const
{
    for (size_t i = 0; i < m_log.size(); ++i) {
        if (m_log[i].newSlot == qint64(slot))
            return int(i);
    }
    return -1;
}

// ------------------------------------------------------------------------ opening and closing

void RecordSet::openWith(std::vector<ColumnStore> columns, std::vector<quint32> order)
{
    emit aboutToReset();
    m_columns = std::move(columns);
    m_order = std::move(order);
    m_baseOrder = m_order;
    m_log.clear();
    m_buffer.clear();
    for (quint32 slot : m_order)
        computeSlot(slot);
    m_cursor = m_order.empty() ? -1 : 0;
    updateBounds();
    emit reset();
    setState(DataSetState::Browse);
    emit currentChanged(m_cursor);
    fire(afterOpen);
    if (!isEmpty())
        fire(afterScroll);
}

void RecordSet::createDataSet()
{
    if (m_fields.empty())
        throw DataSetError(QStringLiteral("%1: conjunto sem campos").arg(objectName()).toStdString());
    close();
    std::vector<ColumnStore> columns;
    for (const auto &f : m_fields)
        columns.emplace_back(f->dataType());
    openWith(std::move(columns), {});
}

void RecordSet::loadFromPacket(QByteArrayView packet)
{
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        throw DataSetError(QStringLiteral("%1: há um registro em edição; confirme ou cancele antes de carregar")
                               .arg(objectName()).toStdString());
    quint32 rows = 0;
    std::vector<ColumnStore> columns = readPacket(packet, &rows);
    close();
    openRows(std::move(columns), rows);
}

std::vector<ColumnStore> RecordSet::readPacket(QByteArrayView packet, quint32 *rowCount)
{
    // The packet is read whole before the contents go: a broken one leaves them as they were.
    std::vector<ColumnStore> columns;
    *rowCount = decodePacket(packet, columns);
    return columns;
}

void RecordSet::appendFromPacket(QByteArrayView packet)
{
    checkActive("acrescentar");
    if (m_state != DataSetState::Browse || !m_log.empty())
        throw DataSetError(QStringLiteral("%1: há alterações não enviadas; não há como acrescentar").arg(objectName()).toStdString());
    // Decoded straight into the columns, and cut back to where they were if it is broken.
    const quint32 first = m_columns.empty() ? 0 : m_columns.front().size();
    quint32 rows = 0;
    try {
        rows = decodePacket(packet, m_columns);
    } catch (...) {
        for (ColumnStore &c : m_columns)
            c.truncate(first);
        throw;
    }
    if (rows == 0)
        return;
    const int position = recordCount();
    emit aboutToAppendRows(position, position + int(rows) - 1);
    for (quint32 slot = first; slot < first + rows; ++slot) {
        m_order.push_back(slot);
        m_baseOrder.push_back(slot);
        computeSlot(slot);
    }
    if (m_cursor < 0) {
        m_cursor = 0;
        updateBounds();
        emit rowsAppended();
        emit currentChanged(m_cursor);
        fire(afterScroll);
        return;
    }
    updateBounds();
    emit rowsAppended();
}

quint32 RecordSet::decodePacket(QByteArrayView packet, std::vector<ColumnStore> &columns)
{
    DataPacketReader reader(packet);
    const QList<PacketField> &incoming = reader.fields();
    if (m_fields.empty()) {
        close(); // fields are declared closed
        for (const PacketField &p : incoming)
            addField({p.name, p.type, p.size});
    }
    // Which of our columns each packet value goes to; values of fields we don't have are skipped.
    std::vector<int> target(size_t(incoming.size()), -1);
    for (const auto &f : m_fields) {
        if (f->calculated())
            continue;
        const auto it = std::find_if(incoming.cbegin(), incoming.cend(), [&](const PacketField &p) {
            return p.name.compare(f->fieldName(), Qt::CaseInsensitive) == 0;
        });
        if (it == incoming.cend())
            throw PacketError(QStringLiteral("pacote de dados sem o campo %1").arg(f->fieldName()).toStdString());
        if (it->type != f->dataType())
            throw PacketError(QStringLiteral("campo %1 do pacote é %2, esperado %3")
                                  .arg(f->fieldName(), fieldTypeName(it->type), fieldTypeName(f->dataType()))
                                  .toStdString());
        const auto packetIndex = size_t(it - incoming.cbegin());
        target[packetIndex] = f->index();
        reader.setFieldSize(int(packetIndex), f->size());
    }

    if (columns.empty()) {
        for (const auto &f : m_fields)
            columns.emplace_back(f->dataType());
    }
    // Room for the rows announced, but never more than the packet's bytes can hold (a row
    // takes at least a byte for its head and one per value): a count the rows don't back
    // must not reserve gigabytes.
    const qint64 rowsThatFit = packet.size() / (1 + qint64(incoming.size()));
    const qint64 expectedRows = std::min({reader.announcedRows(), rowsThatFit, qint64(UINT32_MAX - 1)});
    if (expectedRows > 0) {
        for (ColumnStore &c : columns)
            c.reserve(quint32(std::min<qint64>(c.size() + expectedRows, UINT32_MAX - 1)));
    }
    std::vector<ColumnStore *> sinks;
    for (int t : target)
        sinks.push_back(t >= 0 ? &columns[size_t(t)] : nullptr);
    std::vector<ColumnStore *> calculated;
    for (const auto &f : m_fields) {
        if (f->calculated())
            calculated.push_back(&columns[size_t(f->index())]);
    }

    const quint32 held = columns.empty() ? 0 : columns.front().size();
    quint32 rows = 0;
    while (reader.nextRow()) {
        if (held + rows == UINT32_MAX - 1)
            throw PacketError("pacote de dados com linhas demais");
        for (ColumnStore *sink : sinks)
            reader.readCell(sink);
        for (ColumnStore *c : calculated)
            c->appendNull();
        ++rows;
    }
    return rows;
}

int RecordSet::mergeFromPacket(QByteArrayView packet, const QString &keyField, const QStringList &orderFields)
{
    checkActive("mesclar");
    if (m_state != DataSetState::Browse || !m_log.empty())
        throw DataSetError(QStringLiteral("%1: há alterações não enviadas; não há como mesclar").arg(objectName()).toStdString());
    const int key = fieldByName(keyField).index();
    std::vector<int> order;
    for (const QString &name : orderFields)
        order.push_back(fieldByName(name).index());
    quint32 rows = 0;
    const std::vector<ColumnStore> incoming = readPacket(packet, &rows);

    const auto orderOf = [&](quint32 slot) {
        std::vector<Value> values;
        for (int index : order)
            values.push_back(m_columns[size_t(index)].value(slot));
        return values;
    };
    const auto less = [&](const std::vector<Value> &v, quint32 other) { return v < orderOf(other); };
    const auto greater = [&](quint32 other, const std::vector<Value> &v) { return orderOf(other) < v; };
    // Where each incoming record's key is in view: looked for where its order puts it (a
    // change seldom moves a record); those not found there, in one pass over the whole view.
    const ColumnStore &keys = m_columns[size_t(key)];
    const auto nearItsOrder = [&](QByteArrayView wanted, const std::vector<Value> &at) {
        for (auto it = std::lower_bound(m_order.begin(), m_order.end(), at, greater);
             it != m_order.end() && !less(at, *it); ++it) {
            if (keys.utf8(*it) == wanted)
                return int(it - m_order.begin());
        }
        return -1;
    };
    std::vector<std::pair<quint32, int>> arrived; // slot, and its record's position in view
    QHash<QByteArray, size_t> unplaced;           // key → its entry in `arrived`
    for (quint32 row = 0; row < rows; ++row) {
        std::vector<Value> values;
        for (const ColumnStore &c : incoming)
            values.push_back(c.value(row));
        const quint32 slot = appendSlot(values);
        const QByteArrayView wanted = incoming[size_t(key)].utf8(row);
        arrived.emplace_back(slot, nearItsOrder(wanted, orderOf(slot)));
        if (arrived.back().second < 0)
            unplaced.insert(wanted.toByteArray(), arrived.size() - 1);
    }
    if (unplaced.size() == 1) { // the common case, a new record: its bytes compared alone
        const QByteArray wanted = unplaced.constBegin().key();
        for (size_t position = 0; position < m_order.size(); ++position) {
            if (keys.utf8(m_order[position]) == wanted) {
                arrived[*unplaced.constBegin()].second = int(position);
                break;
            }
        }
        unplaced.clear();
    }
    for (size_t position = 0; position < m_order.size() && !unplaced.isEmpty(); ++position) {
        const QByteArrayView stored = keys.utf8(m_order[position]);
        const auto it = unplaced.constFind(QByteArray::fromRawData(stored.data(), stored.size()));
        if (it != unplaced.cend()) {
            arrived[*it].second = int(position);
            unplaced.erase(it);
        }
    }
    // The cursor follows its record by slot, whatever moves around it.
    qint64 current = m_cursor >= 0 ? qint64(m_order[size_t(m_cursor)]) : -1;
    bool currentReplaced = false;
    std::vector<quint32> placed; // new records, and changed ones their order moved
    std::vector<int> replaced;
    for (const auto &[slot, found] : arrived) {
        if (found < 0) {
            placed.push_back(slot);
            continue;
        }
        if (qint64(m_order[size_t(found)]) == current) {
            current = slot;
            currentReplaced = true;
        }
        m_order[size_t(found)] = slot;
        replaced.push_back(found);
    }
    // A changed record stays where it stands while its order allows; else it moves. Taking one
    // out can show another one out of order (two changed neighbours): looked at again until
    // every one left stands in order.
    const auto outOfOrder = [&](int position) {
        const std::vector<Value> at = orderOf(m_order[size_t(position)]);
        return (position > 0 && at < orderOf(m_order[size_t(position - 1)]))
            || (position + 1 < int(m_order.size()) && orderOf(m_order[size_t(position + 1)]) < at);
    };
    std::vector<quint32> stay;
    for (const int position : replaced)
        stay.push_back(m_order[size_t(position)]);
    for (bool moved = true; moved;) {
        moved = false;
        for (auto it = stay.begin(); it != stay.end();) {
            const int position = int(std::find(m_order.begin(), m_order.end(), *it) - m_order.begin());
            if (!outOfOrder(position)) {
                ++it;
                continue;
            }
            emit aboutToRemoveRow(position);
            placed.push_back(*it);
            m_order.erase(m_order.begin() + position);
            emit rowRemoved(position);
            it = stay.erase(it);
            moved = true;
        }
    }
    for (const quint32 slot : stay)
        emit rowChanged(int(std::find(m_order.begin(), m_order.end(), slot) - m_order.begin()));
    // New records where the order puts them: after every record that doesn't come later.
    for (const quint32 slot : placed) {
        const auto place = std::upper_bound(m_order.begin(), m_order.end(), orderOf(slot), less);
        const int position = int(place - m_order.begin());
        emit aboutToInsertRow(position);
        m_order.insert(place, slot);
        emit rowInserted(position);
    }
    m_baseOrder = m_order;
    int cursor = -1;
    if (!m_order.empty())
        cursor = current < 0 ? 0 : int(std::find(m_order.begin(), m_order.end(), quint32(current)) - m_order.begin());
    const bool moved = cursor != m_cursor;
    m_cursor = cursor;
    updateBounds();
    if (moved || currentReplaced) {
        emit currentChanged(m_cursor);
        fire(afterScroll);
    }
    return int(rows);
}

void RecordSet::openRows(std::vector<ColumnStore> columns, quint32 rows)
{
    close();
    std::vector<quint32> order(rows);
    for (quint32 i = 0; i < rows; ++i)
        order[i] = i;
    openWith(std::move(columns), std::move(order));
}

void RecordSet::close()
{
    if (!active())
        return;
    fire(beforeClose);
    emit aboutToReset();
    m_columns.clear();
    m_order.clear();
    m_baseOrder.clear();
    m_log.clear();
    m_buffer.clear();
    m_cursor = -1;
    m_insertPosition = -1;
    m_state = DataSetState::Browse; // so setState below reports the change
    updateBounds();
    emit reset();
    setState(DataSetState::Inactive);
    emit currentChanged(-1);
    fire(afterClose);
}

// ---------------------------------------------------------------------------------- movement

void RecordSet::moveTo(int position)
{
    checkActive("mover");
    checkBrowseMode();
    if (isEmpty()) {
        updateBounds();
        return;
    }
    fire(beforeScroll);
    m_cursor = std::clamp(position, 0, recordCount() - 1);
    m_bof = m_eof = false;
    emit currentChanged(m_cursor);
    fire(afterScroll);
}

void RecordSet::first()
{
    moveTo(0);
    m_bof = true;
}

void RecordSet::last()
{
    moveTo(recordCount() - 1);
    m_eof = true;
}

void RecordSet::next()
{
    checkActive("mover");
    checkBrowseMode();
    if (m_cursor + 1 >= recordCount()) {
        m_eof = true;
        return;
    }
    moveTo(m_cursor + 1);
}

void RecordSet::prior()
{
    checkActive("mover");
    checkBrowseMode();
    if (m_cursor <= 0) {
        m_bof = true;
        return;
    }
    moveTo(m_cursor - 1);
}

void RecordSet::setRecNo(int position)
{
    checkActive("mover");
    if (position < 0 || position >= recordCount())
        throw DataSetError(QStringLiteral("%1: registro %2 fora do conjunto").arg(objectName()).arg(position).toStdString());
    moveTo(position);
}

bool RecordSet::locate(const QString &fieldName, const QString &value, Qt::CaseSensitivity cs)
{
    checkActive("localizar");
    checkBrowseMode();
    const Field &f = fieldByName(fieldName);
    for (int position = 0; position < recordCount(); ++position) {
        ActiveRecordScope scope(*this, recordAt(position));
        if (!f.isNull() && f.asString().compare(value, cs) == 0) {
            moveTo(position);
            return true;
        }
    }
    return false;
}

// ----------------------------------------------------------------------------------- editing

void RecordSet::insert()
{
    checkActive("incluir");
    checkBrowseMode();
    fire(beforeInsert);
    fire(beforeScroll);
    const int position = m_cursor < 0 ? 0 : m_cursor;
    emit aboutToInsertRow(position);
    m_buffer.assign(m_fields.size(), Value());
    m_insertPosition = position;
    m_cursor = position;
    m_state = DataSetState::Insert;
    emit rowInserted(position);
    m_state = DataSetState::Browse;
    setState(DataSetState::Insert);
    computeBuffer();
    m_bof = m_eof = false;
    emit currentChanged(m_cursor);
    fire(afterInsert);
    fire(afterScroll);
}

void RecordSet::edit()
{
    checkActive("alterar");
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        return;
    if (isEmpty())
        throw DataSetError(QStringLiteral("%1: não há registro para alterar").arg(objectName()).toStdString());
    fire(beforeEdit);
    m_buffer = readSlot(m_order[size_t(m_cursor)]);
    setState(DataSetState::Edit);
    fire(afterEdit);
}

void RecordSet::post()
{
    checkActive("confirmar");
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        return;
    fire(beforePost);
    if (m_state == DataSetState::Insert) {
        const quint32 slot = appendSlot(m_buffer);
        m_order.insert(m_order.begin() + m_insertPosition, slot);
        m_log.push_back({DeltaChange::Op::Insert, -1, slot});
        m_insertPosition = -1;
    } else {
        const quint32 slot = m_order[size_t(m_cursor)];
        const int logged = logIndexOfNewSlot(slot);
        if (logged >= 0) {
            // Already inserted or modified since the last merge: the log entry keeps its
            // original values; only the new ones change.
            for (size_t i = 0; i < m_columns.size(); ++i)
                m_columns[i].set(slot, m_buffer[i]);
        } else if (readSlot(slot) != m_buffer) {
            const quint32 changed = appendSlot(m_buffer);
            m_order[size_t(m_cursor)] = changed;
            m_log.push_back({DeltaChange::Op::Modify, slot, changed});
        }
    }
    m_buffer.clear();
    setState(DataSetState::Browse);
    emit rowChanged(m_cursor);
    fire(afterPost);
}

void RecordSet::cancel()
{
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        return;
    fire(beforeCancel);
    if (m_state == DataSetState::Insert) {
        const int position = m_insertPosition;
        emit aboutToRemoveRow(position);
        m_state = DataSetState::Browse;
        m_buffer.clear();
        m_insertPosition = -1;
        emit rowRemoved(position);
        m_cursor = m_order.empty() ? -1 : std::min(position, int(m_order.size()) - 1);
        m_state = DataSetState::Insert;
    } else {
        m_buffer.clear();
    }
    setState(DataSetState::Browse);
    updateBounds();
    emit rowChanged(m_cursor);
    emit currentChanged(m_cursor);
    fire(afterCancel);
}

void RecordSet::deleteRecord()
{
    checkActive("excluir");
    if (m_state == DataSetState::Insert) {
        cancel();
        return;
    }
    if (isEmpty())
        throw DataSetError(QStringLiteral("%1: não há registro para excluir").arg(objectName()).toStdString());
    fire(beforeDelete);
    fire(beforeScroll);
    const int position = m_cursor;
    const quint32 slot = m_order[size_t(position)];
    emit aboutToRemoveRow(position);
    m_buffer.clear();
    m_order.erase(m_order.begin() + position);
    const int logged = logIndexOfNewSlot(slot);
    if (logged >= 0 && m_log[size_t(logged)].op == DeltaChange::Op::Insert) {
        m_log.erase(m_log.begin() + logged); // never sent: nothing to delete on the other side
    } else if (logged >= 0) {
        m_log[size_t(logged)] = {DeltaChange::Op::Delete, m_log[size_t(logged)].oldSlot, -1};
    } else {
        m_log.push_back({DeltaChange::Op::Delete, slot, -1});
    }
    m_cursor = m_order.empty() ? -1 : std::min(position, int(m_order.size()) - 1);
    const bool wasEditing = m_state == DataSetState::Edit;
    if (wasEditing)
        m_state = DataSetState::Browse;
    emit rowRemoved(position);
    if (wasEditing) {
        m_state = DataSetState::Edit;
        setState(DataSetState::Browse);
    }
    updateBounds();
    emit currentChanged(m_cursor);
    fire(afterDelete);
    fire(afterScroll);
}

// -------------------------------------------------------------------------------- change log

Delta RecordSet::delta() const
{
    Delta d;
    std::vector<size_t> stored;
    for (const auto &f : m_fields) {
        if (!f->calculated()) {
            d.fields.append({f->fieldName(), f->dataType(), f->size()});
            stored.push_back(size_t(f->index()));
        }
    }
    auto values = [&](qint64 slot) {
        QList<Value> row;
        for (size_t i : stored)
            row.append(m_columns[i].value(quint32(slot)));
        return row;
    };
    for (const Change &c : m_log) {
        DeltaChange change;
        change.op = c.op;
        if (c.oldSlot >= 0)
            change.oldValues = values(c.oldSlot);
        if (c.newSlot >= 0)
            change.newValues = values(c.newSlot);
        d.changes.append(change);
    }
    return d;
}

void RecordSet::mergeChangeLog()
{
    m_baseOrder = m_order;
    m_log.clear();
}

void RecordSet::cancelUpdates()
{
    if (!active())
        return;
    const DataSetState before = m_state;
    emit aboutToReset();
    m_state = DataSetState::Browse;
    m_buffer.clear();
    m_insertPosition = -1;
    m_order = m_baseOrder;
    m_log.clear();
    if (m_order.empty())
        m_cursor = -1;
    else
        m_cursor = std::clamp(m_cursor, 0, int(m_order.size()) - 1);
    updateBounds();
    emit reset();
    m_state = before;
    setState(DataSetState::Browse);
    emit currentChanged(m_cursor);
}

// ------------------------------------------------------------------------- reading any record

Value RecordSet::valueAt(int position, int fieldIndex) const
{
    ActiveRecordScope scope(*this, recordAt(position));
    return readValue(field(fieldIndex));
}

QString RecordSet::displayTextAt(int position, int fieldIndex) const
{
    ActiveRecordScope scope(*this, recordAt(position));
    return field(fieldIndex).displayText();
}

void RecordSet::readAt(int position, const std::function<void()> &read) const
{
    ActiveRecordScope scope(*this, recordAt(position));
    read();
}

QString RecordSet::textAt(int position, int fieldIndex) const
{
    ActiveRecordScope scope(*this, recordAt(position));
    return field(fieldIndex).text();
}

} // namespace fw
