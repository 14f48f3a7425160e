#pragma once

#include <framework/data/fieldtypes.h>
#include <framework/data/dataexport.h>

#include <QDateTime>
#include <QString>

#include <functional>

namespace fw {

class RecordSet;

// What a field is: its name, type, size and how it is shown.
struct FieldDef
{
    QString name;
    FieldType type = FieldType::String;
    int size = 0;            // characters, for strings; 0 is unlimited
    QString displayLabel;    // empty: the name is the caption
    QString displayFormat;   // "0.00"-style, for floats
    QString editFormat;
    bool visible = true;
    bool calculated = false; // computed by the record set's calc-fields event, never stored
};

// One field of a record set, reading and writing the record set's active record: the record
// being edited or inserted, else the current one (or, while the record set computes or paints
// a row, that row).
class FW_DATA_EXPORT Field
{
public:
    Field(RecordSet &owner, int index, FieldDef def);
    Field(const Field &) = delete;
    Field &operator=(const Field &) = delete;

    RecordSet &dataSet() const { return m_owner; }
    int index() const { return m_index; }
    const QString &fieldName() const { return m_def.name; }
    FieldType dataType() const { return m_def.type; }
    int size() const { return m_def.size; }
    bool calculated() const { return m_def.calculated; }
    QString displayLabel() const;
    void setDisplayLabel(const QString &label) { m_def.displayLabel = label; }
    const QString &displayFormat() const { return m_def.displayFormat; }
    void setDisplayFormat(const QString &format) { m_def.displayFormat = format; }
    const QString &editFormat() const { return m_def.editFormat; }
    void setEditFormat(const QString &format) { m_def.editFormat = format; }
    bool visible() const { return m_def.visible; }
    void setVisible(bool visible) { m_def.visible = visible; }
    const FieldDef &def() const { return m_def; }

    // Gives the text of the field instead of its formatted value: it starts empty, so a handler
    // that sets nothing shows nothing. `displayText` says whether the text is for display
    // (true) or for editing (false).
    std::function<void(Field &sender, QString &text, bool displayText)> onGetText;

    Value value() const;
    bool isNull() const;
    QString asString() const;
    double asFloat() const;        // null is 0
    QDateTime asDateTime() const;  // null is an invalid QDateTime
    qint64 asInteger() const;
    bool asBoolean() const;

    // Writing needs the record set editing or inserting (calculated fields: also while it
    // computes them). A text longer than the field's size is refused, never cut.
    void setValue(const Value &value);
    void setAsString(const QString &text);
    void setAsFloat(double value);
    void setAsDateTime(const QDateTime &moment);
    void setAsInteger(qint64 value);
    void clear();

    // The text shown to the operator (display format) and the text for editing (edit format,
    // else display format), both through onGetText when it is set. Null shows empty.
    QString displayText() const;
    QString text() const;

private:
    QString formatted(bool display) const;

    RecordSet &m_owner;
    int m_index;
    FieldDef m_def;
};

} // namespace fw
