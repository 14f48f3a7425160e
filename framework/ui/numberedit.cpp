#include "numberedit.h"

#include <framework/core/formatsettings.h>

#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QTimer>

namespace fw {

TNumberEdit::TNumberEdit(QWidget *parent)
    : QLineEdit(parent)
{
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    updateValidator();
}

void TNumberEdit::setDecimals(int decimals)
{
    m_decimals = decimals;
    updateValidator();
}

void TNumberEdit::updateValidator()
{
    const QString separator = QRegularExpression::escape(QString(formatSettings().decimalSeparator));
    const QString pattern = m_decimals > 0
        ? QStringLiteral("-?\\d{0,13}(%1\\d{0,%2})?").arg(separator).arg(m_decimals)
        : QStringLiteral("-?\\d{0,15}");
    setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), this));
}

double TNumberEdit::GetNumber() const
{
    return StrToFloat(text()).value_or(0);
}

void TNumberEdit::SetNumber(double value)
{
    setText(FormatFloat(m_decimals > 0 ? QStringLiteral("0.") + QString(m_decimals, u'0') : QStringLiteral("0"), value));
}

void TNumberEdit::keyPressEvent(QKeyEvent *event)
{
    const QChar separator = formatSettings().decimalSeparator;
    if ((event->text() == QStringLiteral(".") || event->text() == QStringLiteral(",")) && event->text() != separator) {
        QKeyEvent typed(QEvent::KeyPress, event->key(), event->modifiers(), QString(separator));
        QLineEdit::keyPressEvent(&typed);
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TNumberEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    if (event->reason() != Qt::MouseFocusReason)
        selectAll();
    else // after the click has placed the cursor
        QTimer::singleShot(0, this, [this] {
            if (hasFocus())
                selectAll();
        });
}

void TNumberEdit::focusOutEvent(QFocusEvent *event)
{
    if (!text().isEmpty() && text() != QStringLiteral("-"))
        SetNumber(GetNumber());
    QLineEdit::focusOutEvent(event);
}

} // namespace fw
