#pragma once

#include <framework/ui/maskedit.h>
#include <framework/ui/uiexport.h>

#include <QDate>
#include <QWidget>

class QToolButton;

namespace fw {

// A date edit that can show no date: typed in the short date format (a mask guides the digits)
// or picked from a calendar (the button, or Alt+Down). GetDate() is an invalid date when the
// edit is blank or holds no real date (31/02); such a date is refused ("Data inválida.") when
// the focus leaves the edit, and the focus stays.
class FW_UI_EXPORT TDateEditPlus : public QWidget
{
    Q_OBJECT
public:
    explicit TDateEditPlus(QWidget *parent = nullptr);

    QDate GetDate() const;
    void SetDate(const QDate &date); // an invalid date leaves the edit blank
    // False, after saying "Data inválida." and taking the focus, when the edit holds a typed
    // date that is no real day; true when it is blank or a real date.
    bool CheckDate();
    // What the edit shows; empty when no digit was typed.
    QString Text() const { return m_edit->Text(); }
    TMaskEdit *edit() const { return m_edit; }

signals:
    void dateChanged();

private:
    void pick();
    bool eventFilter(QObject *watched, QEvent *event) override;

    TMaskEdit *m_edit;
    QToolButton *m_button;
    bool m_refusing = false;
};

} // namespace fw
