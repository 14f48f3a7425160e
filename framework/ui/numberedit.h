#pragma once

#include <framework/ui/uiexport.h>

#include <QLineEdit>

namespace fw {

// A numeric edit with fixed decimals, the format settings' decimal separator and no thousands
// separator: it takes digits, one separator (the keypad's point is taken for it) and a minus
// sign in front, and shows the value with its decimals when the focus leaves it. Entering it
// selects the value, so what is typed replaces it.
class FW_UI_EXPORT TNumberEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit TNumberEdit(QWidget *parent = nullptr);

    int decimals() const { return m_decimals; }
    void setDecimals(int decimals);
    // The typed value; blank is 0.
    double GetNumber() const;
    void SetNumber(double value);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void updateValidator();

    int m_decimals = 2;
};

} // namespace fw
