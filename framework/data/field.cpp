#include "field.h"

#include <framework/core/formatsettings.h>
#include <framework/data/recordset.h>
#include <framework/data/wiredatetime.h>

namespace fw {

Field::Field(RecordSet &owner, int index, FieldDef def)
    : m_owner(owner)
    , m_index(index)
    , m_def(std::move(def))
{
}

QString Field::displayLabel() const
{
    return m_def.displayLabel.isEmpty() ? m_def.name : m_def.displayLabel;
}

Value Field::value() const
{
    return m_owner.readValue(*this);
}

bool Field::isNull() const
{
    return fw::isNull(value());
}

QString Field::asString() const
{
    const Value v = value();
    if (const auto *text = std::get_if<QString>(&v))
        return *text;
    if (const auto *d = std::get_if<double>(&v))
        return FloatToStr(*d);
    if (const auto *i = std::get_if<qint64>(&v)) {
        if (m_def.type == FieldType::DateTime)
            return DateTimeToStr(dateTimeFromMSecs(*i));
        if (m_def.type == FieldType::Boolean)
            return *i ? QStringLiteral("True") : QStringLiteral("False");
        return QString::number(*i);
    }
    return {};
}

double Field::asFloat() const
{
    const Value v = value();
    if (const auto *d = std::get_if<double>(&v))
        return *d;
    if (const auto *i = std::get_if<qint64>(&v))
        return double(*i);
    if (const auto *text = std::get_if<QString>(&v)) {
        if (text->trimmed().isEmpty())
            return 0;
        if (const auto number = StrToFloat(*text))
            return *number;
        throw DataSetError(QStringLiteral("\"%1\" de %2 não é um número").arg(*text, m_def.name).toStdString());
    }
    return 0;
}

QDateTime Field::asDateTime() const
{
    const Value v = value();
    if (const auto *i = std::get_if<qint64>(&v); i && m_def.type == FieldType::DateTime)
        return dateTimeFromMSecs(*i);
    if (fw::isNull(v))
        return {};
    throw DataSetError(QStringLiteral("%1 não é uma data-hora").arg(m_def.name).toStdString());
}

qint64 Field::asInteger() const
{
    const Value v = value();
    if (const auto *i = std::get_if<qint64>(&v))
        return *i;
    if (const auto *d = std::get_if<double>(&v))
        return qint64(*d);
    if (const auto *text = std::get_if<QString>(&v)) {
        bool ok = false;
        const qint64 n = text->trimmed().toLongLong(&ok);
        if (ok || text->trimmed().isEmpty())
            return n;
        throw DataSetError(QStringLiteral("\"%1\" de %2 não é um inteiro").arg(*text, m_def.name).toStdString());
    }
    return 0;
}

bool Field::asBoolean() const
{
    return asInteger() != 0;
}

void Field::setValue(const Value &v)
{
    const bool fits = fw::isNull(v)
        || (m_def.type == FieldType::String && std::holds_alternative<QString>(v))
        || (m_def.type == FieldType::Float && std::holds_alternative<double>(v))
        || (m_def.type != FieldType::String && m_def.type != FieldType::Float
            && std::holds_alternative<qint64>(v));
    if (!fits)
        throw DataSetError(QStringLiteral("valor de tipo errado para %1 (%2)")
                               .arg(m_def.name, fieldTypeName(m_def.type)).toStdString());
    if (const auto *text = std::get_if<QString>(&v); text && m_def.size > 0 && text->size() > m_def.size)
        throw DataSetError(QStringLiteral("%1 aceita no máximo %2 caracteres").arg(m_def.name).arg(m_def.size).toStdString());
    m_owner.writeValue(*this, v);
}

void Field::setAsString(const QString &text)
{
    switch (m_def.type) {
    case FieldType::String:
        setValue(text);
        return;
    case FieldType::Float:
        if (text.trimmed().isEmpty()) {
            clear();
        } else if (const auto number = StrToFloat(text)) {
            setValue(*number);
        } else {
            throw DataSetError(QStringLiteral("\"%1\" não é um número válido para %2").arg(text, m_def.name).toStdString());
        }
        return;
    case FieldType::DateTime: {
        if (text.trimmed().isEmpty()) {
            clear();
            return;
        }
        const FormatSettings &fs = formatSettings();
        QDateTime moment = QDateTime::fromString(text.trimmed(), fs.shortDateFormat + u' ' + fs.longTimeFormat);
        if (!moment.isValid())
            moment = QDateTime(QDate::fromString(text.trimmed(), fs.shortDateFormat), QTime(0, 0));
        if (!moment.isValid())
            throw DataSetError(QStringLiteral("\"%1\" não é uma data válida para %2").arg(text, m_def.name).toStdString());
        setAsDateTime(moment);
        return;
    }
    case FieldType::Integer:
    case FieldType::Boolean: {
        bool ok = false;
        const qint64 n = text.trimmed().toLongLong(&ok);
        if (!ok)
            throw DataSetError(QStringLiteral("\"%1\" não é um inteiro válido para %2").arg(text, m_def.name).toStdString());
        setValue(n);
        return;
    }
    }
}

void Field::setAsFloat(double value)
{
    if (m_def.type == FieldType::Integer)
        setValue(qint64(value));
    else
        setValue(value);
}

void Field::setAsDateTime(const QDateTime &moment)
{
    if (!moment.isValid())
        clear();
    else
        setValue(moment.toMSecsSinceEpoch());
}

void Field::setAsInteger(qint64 value)
{
    if (m_def.type == FieldType::Float)
        setValue(double(value));
    else
        setValue(value);
}

void Field::clear()
{
    setValue(Value());
}

QString Field::formatted(bool display) const
{
    const Value v = value();
    if (fw::isNull(v))
        return {};
    if (const auto *d = std::get_if<double>(&v)) {
        const QString &format = display || m_def.editFormat.isEmpty() ? m_def.displayFormat : m_def.editFormat;
        return FormatFloat(format, *d);
    }
    return asString();
}

QString Field::displayText() const
{
    if (!onGetText)
        return formatted(true);
    QString text; // the handler writes the whole text; one that writes nothing shows empty
    onGetText(const_cast<Field &>(*this), text, true);
    return text;
}

QString Field::text() const
{
    if (!onGetText)
        return formatted(false);
    QString text; // the handler writes the whole text; one that writes nothing shows empty
    onGetText(const_cast<Field &>(*this), text, false);
    return text;
}

} // namespace fw
