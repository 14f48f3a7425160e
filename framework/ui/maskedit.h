#pragma once

#include <framework/ui/uiexport.h>

#include <QLineEdit>

namespace fw {

// An edit with an input mask (PictPess masks and the like). Text() is what the operator typed,
// without the mask's separators ("529.982.247-25" reads 52998224725), and empty when nothing
// was typed, so a blank masked edit reads blank.
class FW_UI_EXPORT TMaskEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit TMaskEdit(QWidget *parent = nullptr) : QLineEdit(parent) {}

    void setEditMask(const QString &mask) { setInputMask(mask); }
    QString editMask() const { return inputMask(); }
    QString Text() const;
};

} // namespace fw
