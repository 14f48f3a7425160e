#include "dbcontrols.h"

#include <framework/ui/handlerguard.h>

#include <QApplication>

namespace fw {
namespace {

// Writes what the operator typed, starting the edit when the record set is only browsing.
void writeField(DataLink *link, const QString &text)
{
    Field *field = link->field();
    if (!field || !link->hasRecord())
        return;
    if (!link->editing())
        link->dataSet()->edit();
    field->setAsString(text);
}

} // namespace

TDBEdit::TDBEdit(QWidget *parent)
    : QLineEdit(parent)
    , m_link(new DataLink(this, [this] { refresh(); }))
{
    connect(this, &QLineEdit::textEdited, this, &TDBEdit::edited);
}

void TDBEdit::refresh()
{
    if (m_writing)
        return; // the control already shows what is being written
    m_refreshing = true;
    const Field *field = m_link->field();
    const QString text = field && m_link->hasRecord() ? (m_link->editing() ? field->text() : field->displayText())
                                                      : QString();
    if (text != QLineEdit::text())
        setText(text);
    if (field && field->size() > 0)
        setMaxLength(field->size());
    m_refreshing = false;
}

void TDBEdit::edited(const QString &text)
{
    if (m_refreshing || isReadOnly())
        return;
    m_writing = true;
    const bool written = guarded([&] { writeField(m_link, text); });
    m_writing = false;
    if (!written)
        refresh();
}

TDBMemo::TDBMemo(QWidget *parent)
    : QPlainTextEdit(parent)
    , m_link(new DataLink(this, [this] { refresh(); }))
{
    connect(this, &QPlainTextEdit::textChanged, this, &TDBMemo::edited);
}

int TDBMemo::maxLength() const
{
    const Field *field = m_link->field();
    return field ? field->size() : 0;
}

void TDBMemo::refresh()
{
    if (m_writing)
        return;
    m_refreshing = true;
    const Field *field = m_link->field();
    m_shown = field && m_link->hasRecord() ? field->asString() : QString();
    if (m_shown != toPlainText())
        setPlainText(m_shown);
    m_refreshing = false;
}

void TDBMemo::edited()
{
    if (m_refreshing || isReadOnly())
        return;
    QString text = toPlainText();
    const int limit = maxLength();
    if (limit > 0 && text.size() > limit) {
        // Past the field's size: the typing is refused, never cut silently on the way out.
        QApplication::beep();
        m_refreshing = true;
        const int cursor = std::min(textCursor().position(), int(m_shown.size()));
        setPlainText(m_shown);
        QTextCursor c = textCursor();
        c.setPosition(cursor);
        setTextCursor(c);
        m_refreshing = false;
        return;
    }
    m_shown = text;
    m_writing = true;
    const bool written = guarded([&] { writeField(m_link, text); });
    m_writing = false;
    if (!written)
        refresh();
}

} // namespace fw
