#include "dateeditplus.h"

#include <framework/core/dialogs.h>
#include <framework/core/formatsettings.h>
#include <framework/ui/handlerguard.h>

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QToolButton>
#include <QWidgetAction>

namespace fw {
namespace {

// The mask of the short date format: each day, month and year letter is a digit.
QString maskOf(const QString &format)
{
    QString mask;
    for (QChar c : format)
        mask.append(c == u'd' || c == u'M' || c == u'y' ? u'9' : c);
    return mask + QStringLiteral(";_");
}

} // namespace

TDateEditPlus::TDateEditPlus(QWidget *parent)
    : QWidget(parent)
    , m_edit(new TMaskEdit(this))
    , m_button(new QToolButton(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(m_edit);
    layout->addWidget(m_button);
    m_edit->setObjectName(QStringLiteral("dateText"));
    m_edit->setEditMask(maskOf(formatSettings().shortDateFormat));
    m_button->setText(QStringLiteral("▾"));
    m_button->setToolTip(QStringLiteral("Calendário (Alt+Seta para baixo)"));
    m_button->setFocusPolicy(Qt::NoFocus);
    setFocusProxy(m_edit);
    m_edit->installEventFilter(this);
    connect(m_button, &QToolButton::clicked, this, &TDateEditPlus::pick);
    connect(m_edit, &QLineEdit::textChanged, this, &TDateEditPlus::dateChanged);
}

QDate TDateEditPlus::GetDate() const
{
    if (Text().isEmpty())
        return {};
    return QDate::fromString(m_edit->text(), formatSettings().shortDateFormat);
}

void TDateEditPlus::SetDate(const QDate &date)
{
    m_edit->setText(date.isValid() ? DateToStr(date) : QString());
}

void TDateEditPlus::pick()
{
    QMenu popup(this);
    auto *calendar = new QCalendarWidget(&popup);
    calendar->setObjectName(QStringLiteral("calendar"));
    calendar->setSelectedDate(GetDate().isValid() ? GetDate() : QDate::currentDate());
    auto *action = new QWidgetAction(&popup);
    action->setDefaultWidget(calendar);
    popup.addAction(action);
    connect(calendar, &QCalendarWidget::activated, &popup, [&](const QDate &date) {
        SetDate(date);
        popup.close();
    });
    connect(calendar, &QCalendarWidget::clicked, &popup, [&](const QDate &date) {
        SetDate(date);
        popup.close();
    });
    calendar->setFocus();
    popup.exec(m_edit->mapToGlobal(QPoint(0, m_edit->height())));
    m_edit->setFocus();
}

bool TDateEditPlus::CheckDate()
{
    if (Text().isEmpty() || GetDate().isValid())
        return true;
    if (!m_refusing) {
        m_refusing = true;
        m_edit->setFocus(Qt::OtherFocusReason);
        showError(QStringLiteral("Data inválida."));
        m_edit->setFocus(Qt::OtherFocusReason);
        m_refusing = false;
    }
    return false;
}

bool TDateEditPlus::eventFilter(QObject *watched, QEvent *event)
{
    // A date typed that is no real day (31/02) is refused on leaving, before anyone reads it.
    if (watched == m_edit && event->type() == QEvent::FocusOut && !screenClosing(this) && !focusBeingPutBack(this)) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            CheckDate();
    }
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Down && key->modifiers() & Qt::AltModifier) {
            pick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace fw
