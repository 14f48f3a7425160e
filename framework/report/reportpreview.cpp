#include "reportpreview.h"

#include <QAction>
#include <QCoreApplication>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QPrintPreviewDialog>
#include <QPointer>
#include <QPrintPreviewWidget>
#include <QToolBar>
#include <QToolButton>

namespace fw {
namespace {

// What a toolbar button and the page lack for an operator at the keyboard: Enter presses the
// button; Tab on the page goes to printing (the page's own view would take it to move among
// its pages' items).
class PreviewKeys : public QObject
{
public:
    PreviewKeys(QToolButton *print, QObject *parent) : QObject(parent), m_print(print) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool onPage = qobject_cast<QPrintPreviewWidget *>(watched) || qobject_cast<QGraphicsView *>(watched);
        if (onPage && key->key() == Qt::Key_Tab && key->modifiers() == Qt::NoModifier && m_print) {
            m_print->setFocus(Qt::TabFocusReason);
            return true;
        }
        auto *button = qobject_cast<QToolButton *>(watched);
        if (!button || (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter))
            return false;
        button->click();
        return true;
    }

private:
    QPointer<QToolButton> m_print;
};

} // namespace

QPrintPreviewDialog *createReportPreview(QPrinter *printer, QWidget *parent)
{
    auto *dialog = new QPrintPreviewDialog(printer, parent);
    dialog->setObjectName(QStringLiteral("reportPreview"));
    auto *toolbar = dialog->findChild<QToolBar *>();
    QToolButton *printButton = nullptr;
    QList<QToolButton *> buttons;
    if (toolbar) {
        // The preview's print action, by the text Qt gives it.
        QAction *print = nullptr;
        const QString printText = QCoreApplication::translate("QPrintPreviewDialog", "Print");
        const QList<QAction *> actions = toolbar->actions();
        for (QAction *action : actions) {
            if (action->text() == printText)
                print = action;
            if (auto *button = qobject_cast<QToolButton *>(toolbar->widgetForAction(action))) {
                button->setFocusPolicy(Qt::TabFocus);
                buttons.append(button);
            }
        }
        if (print) {
            print->setObjectName(QStringLiteral("actPrintPreview"));
            print->setShortcut(QKeySequence::Print);
            print->setShortcutContext(Qt::WindowShortcut);
            print->setToolTip(QStringLiteral("Imprimir (%1)").arg(print->shortcut().toString(QKeySequence::NativeText)));
            printButton = qobject_cast<QToolButton *>(toolbar->widgetForAction(print));
            if (printButton)
                printButton->setObjectName(QStringLiteral("btnPrintPreview"));
        } else {
            qWarning("reportPreview: a ação de imprimir da pré-visualização não foi encontrada; Ctrl+P não imprime");
        }
    }
    // The page: the preview widget or the view inside it, whichever holds the focus.
    auto *keys = new PreviewKeys(printButton, dialog);
    if (auto *page = dialog->findChild<QPrintPreviewWidget *>()) {
        page->installEventFilter(keys);
        if (auto *view = page->findChild<QGraphicsView *>())
            view->installEventFilter(keys);
    }
    for (QToolButton *button : std::as_const(buttons))
        button->installEventFilter(keys);
    // Esc closes wherever the focus is in the preview, the page itself included.
    auto *close = new QAction(dialog);
    close->setObjectName(QStringLiteral("actClosePreview"));
    close->setShortcut(Qt::Key_Escape);
    close->setShortcutContext(Qt::WindowShortcut);
    dialog->addAction(close);
    QObject::connect(close, &QAction::triggered, dialog, &QDialog::reject);
    return dialog;
}

} // namespace fw
