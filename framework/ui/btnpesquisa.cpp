#include "btnpesquisa.h"

#include <framework/core/dialogs.h>
#include <framework/ui/handlerguard.h>
#include <framework/ui/operatordialogs.h>
#include <framework/data/recordsetmodel.h>

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

namespace fw {
namespace {

// A typed text finds a value that starts with it; a code padded with zeros is also found by
// its significant digits ("123" finds "000…0123").
bool startsWithTyped(const QString &value, const QString &typed)
{
    if (value.startsWith(typed, Qt::CaseInsensitive))
        return true;
    qsizetype zeros = 0;
    while (zeros < value.size() - 1 && value[zeros] == u'0')
        ++zeros;
    return zeros > 0 && QStringView(value).sliced(zeros).startsWith(typed, Qt::CaseInsensitive);
}

} // namespace

SearchListDialog::SearchListDialog(const QString &title, RecordSet &recordSet, QWidget *parent)
    : QDialog(parent)
    , m_recordSet(recordSet)
    , m_model(new RecordSetModel(&recordSet, this))
    , m_finder(new QLineEdit(this))
    , m_list(new QTableView(this))
{
    setObjectName(QStringLiteral("searchList"));
    setWindowTitle(title);
    QStringList visible;
    for (int i = 0; i < recordSet.fieldCount(); ++i) {
        if (recordSet.field(i).visible())
            visible.append(recordSet.field(i).fieldName());
    }
    m_model->setColumns(visible);
    m_list->setModel(m_model);
    m_list->setObjectName(QStringLiteral("searchListRows"));
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->horizontalHeader()->setStretchLastSection(true);
    // Codes and numbers are shown whole: each column as wide as its widest value.
    m_list->resizeColumnsToContents();
    m_finder->setObjectName(QStringLiteral("searchListFinder"));
    m_finder->setPlaceholderText(QStringLiteral("Digite para localizar"));
    auto *label = new QLabel(QStringLiteral("&Localizar:"), this);
    label->setBuddy(m_finder);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_finder);
    layout->addWidget(m_list);
    resize(520, 360);
    connect(m_finder, &QLineEdit::textEdited, this, &SearchListDialog::find);
    connect(m_list, &QTableView::doubleClicked, this, &QDialog::accept);
    m_finder->installEventFilter(this);
    const int start = std::max(0, recordSet.recNo());
    if (m_model->rowCount() > 0)
        m_list->setCurrentIndex(m_model->index(start, 0));
    m_finder->setFocus();
}

int SearchListDialog::currentRow() const
{
    const QModelIndex current = m_list->currentIndex();
    return current.isValid() ? current.row() : -1;
}

// Type-ahead on every column, the first column first: the operator may type a code or a name.
void SearchListDialog::find(const QString &text)
{
    const QString typed = text.trimmed();
    if (typed.isEmpty())
        return;
    for (int column = 0; column < m_model->columnCount(); ++column) {
        for (int row = 0; row < m_model->rowCount(); ++row) {
            if (startsWithTyped(m_model->data(m_model->index(row, column)).toString(), typed)) {
                m_list->setCurrentIndex(m_model->index(row, column));
                return;
            }
        }
    }
}

// Up, down and page keys typed in the finder move in the list, so the keyboard never has to
// leave the finder.
bool SearchListDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_finder && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (currentRow() >= 0)
                accept();
            return true;
        }
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
            QKeyEvent copy(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(m_list, &copy);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

TBtnPesquisa::TBtnPesquisa(QWidget *parent)
    : QToolButton(parent)
{
    setText(QStringLiteral("..."));
    setToolTip(QStringLiteral("Pesquisar (F4)"));
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QToolButton::clicked, this, [this] { search(); });
}

void TBtnPesquisa::setAssociate(QLineEdit *edit)
{
    if (m_associate)
        m_associate->removeEventFilter(this);
    m_associate = edit;
    if (m_associate)
        m_associate->installEventFilter(this);
}

bool TBtnPesquisa::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_associate && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F4
        && (static_cast<QKeyEvent *>(event)->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && isEnabled()) {
        search();
        return true;
    }
    return QToolButton::eventFilter(watched, event);
}

bool TBtnPesquisa::search()
{
    bool chosen = false;
    guarded([&] {
        // Pressed from another field: the edit it belongs to takes the focus first, so that its
        // enter step runs before the list is filled, not after the choice.
        if (m_associate && QApplication::focusWidget() != m_associate)
            m_associate->setFocus(Qt::OtherFocusReason);
        if (OnBeforePesq)
            OnBeforePesq(*this);
        RecordSet *set = m_source ? m_source->dataSet() : nullptr;
        if (!set || !set->active() || set->isEmpty()) {
            dialogs().messageDlg(m_emptyError.isEmpty() ? QStringLiteral("Não há registros para pesquisar.") : m_emptyError,
                                 MsgDlgType::Warning, mbOK, 0);
            return;
        }
        const std::optional<int> row = chooseSearchRow(window(), m_title, *set);
        if (m_associate) {
            // Back to the screen the list was opened from, on the edit it belongs to.
            m_associate->activateWindow();
            m_associate->setFocus();
        }
        if (!row)
            return;
        set->setRecNo(*row);
        chosen = true;
        if (OnAfterPesq)
            OnAfterPesq(*this);
    });
    return chosen;
}

} // namespace fw
