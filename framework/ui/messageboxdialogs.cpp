#include "messageboxdialogs.h"

#include <framework/ui/busyindicator.h>
#include <framework/ui/widgetutils.h>

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

namespace fw {

int MessageBoxDialogs::messageDlg(const QString &text, MsgDlgType type, MsgDlgButtons buttons, int)
{
    return messageDlg(text, QString(), type, buttons);
}

int MessageBoxDialogs::messageDlg(const QString &text, const QString &details, MsgDlgType type, MsgDlgButtons buttons)
{
    QMessageBox box(m_parent ? m_parent.data() : QApplication::activeWindow());
    switch (type) {
    case MsgDlgType::Warning: box.setIcon(QMessageBox::Warning); box.setWindowTitle(QStringLiteral("Atenção")); break;
    case MsgDlgType::Error: box.setIcon(QMessageBox::Critical); box.setWindowTitle(QStringLiteral("Erro")); break;
    case MsgDlgType::Information: box.setIcon(QMessageBox::Information); box.setWindowTitle(QStringLiteral("Informação")); break;
    case MsgDlgType::Confirmation: box.setIcon(QMessageBox::Question); box.setWindowTitle(QStringLiteral("Confirmação")); break;
    case MsgDlgType::Custom: box.setWindowTitle(QApplication::applicationDisplayName()); break;
    }
    box.setText(text);
    // A message box sizes itself to its text; a spacer across its grid keeps the title whole.
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(new QSpacerItem(widthForTitle(box), 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    if (!details.isEmpty())
        box.setDetailedText(details); // behind the box's "Show Details..." button
    // Buttons in Portuguese, each answering with the host's result number.
    struct Choice { MsgDlgBtn flag; const char *caption; QMessageBox::ButtonRole role; int result; };
    static const Choice choices[] = {
        {mbYes, "&Sim", QMessageBox::YesRole, mrYes},
        {mbNo, "&Não", QMessageBox::NoRole, mrNo},
        {mbOK, "OK", QMessageBox::AcceptRole, mrOk},
        {mbCancel, "Cancelar", QMessageBox::RejectRole, mrCancel},
    };
    QList<std::pair<QAbstractButton *, int>> results;
    for (const Choice &c : choices) {
        if (buttons & c.flag)
            results.append({box.addButton(QString::fromUtf8(c.caption), c.role), c.result});
    }
    // A stray Enter must not consent: No is the default where it is offered.
    for (const auto &[button, result] : results) {
        if (result == mrNo)
            box.setDefaultButton(static_cast<QPushButton *>(button));
    }
    if (results.isEmpty())
        results.append({box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole), mrOk});
    const BusyIndicatorPause uncovered;
    box.exec();
    for (const auto &[button, result] : results) {
        if (box.clickedButton() == button)
            return result;
    }
    // Closed with Esc: the safest answer offered.
    return buttons & mbNo ? mrNo : buttons & mbCancel ? mrCancel : mrOk;
}

} // namespace fw
