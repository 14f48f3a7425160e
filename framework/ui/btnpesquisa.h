#pragma once

#include <framework/data/datasource.h>
#include <framework/ui/uiexport.h>

#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QToolButton>

#include <functional>

class QTableView;

namespace fw {

class RecordSetModel;

// The list a search button offers: its record set's visible fields, each column as wide as its
// values, with type-ahead ("Localizar") on a code or a name. Enter (or a double click) chooses the current row, Esc gives up.
class FW_UI_EXPORT SearchListDialog : public QDialog
{
    Q_OBJECT
public:
    SearchListDialog(const QString &title, RecordSet &recordSet, QWidget *parent = nullptr);

    int currentRow() const;
    QLineEdit *finder() const { return m_finder; }
    QTableView *list() const { return m_list; }

private:
    void find(const QString &text);
    bool eventFilter(QObject *watched, QEvent *event) override;

    RecordSet &m_recordSet;
    RecordSetModel *m_model;
    QLineEdit *m_finder;
    QTableView *m_list;
};

// A search button tied to an edit (its Associate): clicking it, or F4 in the edit, raises
// OnBeforePesq (where the screen fills the list's record set), asks the dialogs responder for a
// row (OperatorDialogs::chooseRow: the list, by default), and after a choice moves the record
// set to the chosen row and raises OnAfterPesq (where the screen copies the row into its
// edits). An empty list shows EmptyError instead.
class FW_UI_EXPORT TBtnPesquisa : public QToolButton
{
    Q_OBJECT
public:
    explicit TBtnPesquisa(QWidget *parent = nullptr);

    void setAssociate(QLineEdit *edit);
    QLineEdit *associate() const { return m_associate; }
    void setDataSource(DataSource *source) { m_source = source; }
    DataSource *dataSource() const { return m_source; }
    void setTitle(const QString &title) { m_title = title; }
    QString title() const { return m_title; }
    void setEmptyError(const QString &message) { m_emptyError = message; }
    QString emptyError() const { return m_emptyError; }

    std::function<void(TBtnPesquisa &)> OnBeforePesq;
    std::function<void(TBtnPesquisa &)> OnAfterPesq;

    // The whole search, guarded as an event handler; true when a row was chosen.
    bool search();

private:
    bool eventFilter(QObject *watched, QEvent *event) override;

    QPointer<QLineEdit> m_associate;
    QPointer<DataSource> m_source;
    QString m_title;
    QString m_emptyError;
};

} // namespace fw
