#include "busyindicator.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWidget>

#include <vector>

namespace fw {
namespace {

QString textOf(int kind)
{
    switch (kind) {
    case 0: return QStringLiteral("Conectando ao servidor...");
    case 1: return QStringLiteral("Gravando...");
    case 6: return QStringLiteral("Consultando...");
    default: return QStringLiteral("Aguarde...");
    }
}

class BusyWindow : public QWidget
{
public:
    BusyWindow()
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus)
    {
        setObjectName(QStringLiteral("busyIndicator"));
        setAttribute(Qt::WA_ShowWithoutActivating);
        auto *layout = new QVBoxLayout(this);
        m_label = new QLabel(this);
        m_label->setAlignment(Qt::AlignCenter);
        auto *bar = new QProgressBar(this);
        bar->setRange(0, 0); // moving, with no end known
        bar->setTextVisible(false);
        layout->addWidget(m_label);
        layout->addWidget(bar);
        setFrameStyle();
        resize(260, 70);
    }

    void showOver(QWidget *window, int kind)
    {
        m_label->setText(textOf(kind));
        if (window)
            move(window->mapToGlobal(window->rect().center()) - rect().center());
        show();
        raise();
        repaint();
    }

private:
    void setFrameStyle() { setStyleSheet(QStringLiteral("BusyWindow { border: 1px solid palette(mid); }")); }
    QLabel *m_label;
};

QPointer<BusyWindow> busyWindow;
std::vector<std::pair<QPointer<QWidget>, int>> shown; // window and kind of each nested call

} // namespace

void ActiveShowAvi(QWidget *window, int kind)
{
    shown.emplace_back(window, kind);
    if (!busyWindow)
        busyWindow = new BusyWindow;
    busyWindow->showOver(window, kind);
}

void DeactiveShowAvi()
{
    if (!shown.empty())
        shown.pop_back();
    if (!busyWindow)
        return;
    if (shown.empty())
        busyWindow->hide();
    else // the enclosing call's indicator shows again
        busyWindow->showOver(shown.back().first, shown.back().second);
}

int busyIndicatorKind()
{
    return shown.empty() ? -1 : shown.back().second;
}

bool busyIndicatorVisible()
{
    return busyWindow && busyWindow->isVisible();
}

} // namespace fw

namespace fw {

BusyIndicatorPause::BusyIndicatorPause()
    : m_wasVisible(busyIndicatorVisible())
{
    if (m_wasVisible)
        busyWindow->hide();
}

BusyIndicatorPause::~BusyIndicatorPause()
{
    if (m_wasVisible && busyWindow && !shown.empty())
        busyWindow->showOver(shown.back().first, shown.back().second);
}

} // namespace fw
