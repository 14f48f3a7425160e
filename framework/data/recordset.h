#pragma once

#include <framework/data/columnstore.h>
#include <framework/data/datapacket.h>
#include <framework/data/field.h>
#include <framework/data/dataexport.h>

#include <QByteArrayView>
#include <QCborMap>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace fw {

class DataSource;

enum class DataSetState { Inactive, Browse, Edit, Insert };

// A wrong call for the record set's state or contents: a programming error with a message.
class FW_DATA_EXPORT DataSetError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// An in-memory record set as data-aware screens use it: typed fields, a cursor, the states
// inactive/browse/edit/insert with the usual events, calculated fields, and a change log that
// keeps inserted, modified (old and new values) and deleted records apart until it is merged
// or cancelled. Loaded whole from a data packet; its change log travels as a delta.
//
// Event order (each event is optional; an exception thrown by one propagates to the caller):
//   open/load: state change, afterOpen, afterScroll (only when not empty)
//   insert:    beforeInsert, beforeScroll, state change, afterInsert, afterScroll
//   edit:      beforeEdit, state change, afterEdit
//   post:      beforePost (throwing refuses the post: state and typed values stay),
//              state change, afterPost
//   cancel:    beforeCancel, state change, afterCancel
//   delete:    beforeDelete, beforeScroll, state change (when editing), afterDelete, afterScroll
//   moves:     a pending edit or insert is posted first; beforeScroll, afterScroll
//   close:     beforeClose, state change, afterClose
class FW_DATA_EXPORT RecordSet : public QObject
{
    Q_OBJECT
public:
    using Event = std::function<void(RecordSet &)>;

    explicit RecordSet(QObject *parent = nullptr);
    ~RecordSet() override;

    // Persistent fields, declared while inactive. A record set opened with none takes the
    // packet's fields.
    Field &addField(const FieldDef &def);
    int fieldCount() const { return int(m_fields.size()); }
    Field &field(int index) const { return *m_fields.at(size_t(index)); }
    Field *findField(const QString &name) const; // case-insensitive
    Field &fieldByName(const QString &name) const; // throws DataSetError when absent

    DataSetState state() const { return m_state; }
    bool active() const { return m_state != DataSetState::Inactive; }
    bool isEmpty() const { return recordCount() == 0; }
    // Records in view, the one being inserted included.
    int recordCount() const;
    // Position of the current record, 0-based; -1 when there is none.
    int recNo() const { return m_cursor; }
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }

    // Opens empty with the declared fields.
    void createDataSet();
    // Replaces the contents with a data packet's rows (closing when open). Throws PacketError
    // when the packet is malformed or misses a declared field; the record set then keeps what
    // it held, unless it had no declared fields (it is then closed).
    void loadFromPacket(QByteArrayView packet);
    // Brings a packet's records in, while browsing with nothing in the change log: one whose
    // key is in view replaces it where it stands, a new one goes where its order fields put it
    // (the view being in that order). The cursor stays on its record. Returns the records
    // brought in; a malformed packet throws PacketError and changes nothing.
    int mergeFromPacket(QByteArrayView packet, const QString &keyField, const QStringList &orderFields);
    // Adds a packet's records after the last, while browsing with nothing in the change log (a
    // statement read in parts); the cursor stays where it is, or goes to the first record when
    // there was none. A malformed packet throws PacketError and changes nothing.
    void appendFromPacket(QByteArrayView packet);
    void close();

    void first();
    void last();
    void next();
    void prior();
    void setRecNo(int position);
    bool locate(const QString &fieldName, const QString &value,
                Qt::CaseSensitivity cs = Qt::CaseInsensitive);

    void insert();
    void edit();
    void post();
    void cancel();
    void deleteRecord();

    // Change log.
    int changeCount() const { return int(m_log.size()); }
    Delta delta() const;
    QCborMap deltaPacket() const { return deltaToCbor(delta()); }
    // The logged changes become the record set's original data.
    void mergeChangeLog();
    // Every logged change is undone: inserted records go, modified and deleted ones come back
    // as they were loaded (a pending edit or insert is dropped first).
    void cancelUpdates();

    // True when the record at `position` is an insert or a modification still in the change
    // log: posted here, not yet merged (a send that failed leaves it so). The record being typed
    // is not.
    bool isPendingAt(int position) const;

    // Reading any record in view without moving the cursor (grids, lists).
    Value valueAt(int position, int fieldIndex) const;
    QString displayTextAt(int position, int fieldIndex) const;
    QString textAt(int position, int fieldIndex) const;
    // Runs `read` with the fields reading the record at `position` (as a grid does while it
    // paints a row), the cursor untouched.
    void readAt(int position, const std::function<void()> &read) const;

    Event afterOpen, beforeClose, afterClose;
    Event beforeInsert, afterInsert, beforeEdit, afterEdit;
    Event beforePost, afterPost, beforeCancel, afterCancel;
    Event beforeDelete, afterDelete, beforeScroll, afterScroll;
    Event onCalcFields;

signals:
    void stateChanged();
    void aboutToReset();
    void reset();
    void aboutToInsertRow(int position);
    void rowInserted(int position);
    void aboutToAppendRows(int first, int last);
    void rowsAppended();
    void aboutToRemoveRow(int position);
    void rowRemoved(int position);
    void rowChanged(int position);
    void currentChanged(int position);

protected:
    // Opens on columns already filled with `rows` records each, for subclasses that read
    // their rows from elsewhere.
    void openRows(std::vector<ColumnStore> columns, quint32 rows);

private:
    friend class Field;
    friend class DataSource;

    // Where a field reads and writes: the edit buffer or a stored slot.
    struct ActiveRecord
    {
        std::vector<Value> *buffer = nullptr;
        qint64 slot = -1;
    };

    class ActiveRecordScope;

    ActiveRecord activeRecord() const;
    ActiveRecord recordAt(int position) const;
    Value readValue(const Field &f) const;
    void writeValue(const Field &f, const Value &value);

    void checkActive(const char *operation) const;
    void checkBrowseMode();
    void setState(DataSetState state);
    void fire(const Event &event);
    void openWith(std::vector<ColumnStore> columns, std::vector<quint32> order);
    // The packet's rows as columns of this record set's fields (taking the packet's fields
    // when it has none); throws PacketError before anything changes.
    std::vector<ColumnStore> readPacket(QByteArrayView packet, quint32 *rowCount);
    // The packet's rows appended to `columns` (made for our fields when empty); returns how many.
    quint32 decodePacket(QByteArrayView packet, std::vector<ColumnStore> &columns);
    void moveTo(int position);
    void updateBounds();
    void computeSlot(quint32 slot);
    void computeBuffer();
    std::vector<Value> readSlot(quint32 slot) const;
    quint32 appendSlot(const std::vector<Value> &values);
    int logIndexOfNewSlot(quint32 slot) const;

    struct Change
    {
        DeltaChange::Op op;
        qint64 oldSlot = -1;
        qint64 newSlot = -1;
    };

    std::vector<std::unique_ptr<Field>> m_fields;
    std::vector<ColumnStore> m_columns;  // one per field, calculated ones included
    std::vector<quint32> m_order;        // view position → slot
    std::vector<quint32> m_baseOrder;    // the view as last loaded or merged
    std::vector<Change> m_log;
    std::vector<Value> m_buffer;         // the record being edited or inserted
    DataSetState m_state = DataSetState::Inactive;
    int m_cursor = -1;
    int m_insertPosition = -1;
    bool m_eof = true;
    bool m_bof = true;
    mutable std::optional<ActiveRecord> m_override;
    QList<QPointer<DataSource>> m_dataSources;
};

} // namespace fw
