#pragma once

#include "moduleloader.h"

#include <QMainWindow>

class QMdiArea;

// The back-office main window: screens open inside it as child windows, from its menu.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(ModuleLoader &modules, QWidget *parent = nullptr);

    QMdiArea *mdiArea() const { return m_area; }
    // Opens a screen module, telling the operator when it can't.
    void openModule(const QString &module);

private:
    ModuleLoader &m_modules;
    QMdiArea *m_area;
};
