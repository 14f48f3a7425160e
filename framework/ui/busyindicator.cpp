#include "busyindicator.h"

#include <QApplication>
#include <QLabel>
#include <QLocale>
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
        m_bar = new QProgressBar(this);
        m_bar->setObjectName(QStringLiteral("busyBar"));
        m_bar->setTextVisible(false);
        layout->addWidget(m_label);
        layout->addWidget(m_bar);
        setFrameStyle();
        resize(260, 70);
    }

    void showOver(QWidget *window, int kind)
    {
        m_label->setText(textOf(kind));
        m_bar->setRange(0, 0); // moving, with no end known
        if (window)
            move(window->mapToGlobal(window->rect().center()) - rect().center());
        show();
        raise();
        repaint();
    }

    void showProgress(int kind, qint64 rows, std::optional<quint64> total)
    {
        const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
        m_label->setText(total ? QStringLiteral("%1 %2 de %3 lançamentos").arg(textOf(kind), brazil.toString(rows), brazil.toString(*total))
                               : QStringLiteral("%1 %2 lançamentos").arg(textOf(kind), brazil.toString(rows)));
        // Wide enough for the count, centred where it was.
        const QPoint centre = geometry().center();
        resize(std::max(width(), sizeHint().width()), height());
        move(centre - rect().center());
        if (total && *total > 0) {
            // The bar counts in thousandths: a total past an int's range still fills it.
            m_bar->setRange(0, 1000);
            m_bar->setValue(int(std::min<quint64>(quint64(rows), *total) * 1000 / *total));
        }
    }

    QString text() const { return m_label->text(); }

private:
    void setFrameStyle() { setStyleSheet(QStringLiteral("BusyWindow { border: 1px solid palette(mid); }")); }
    QLabel *m_label;
    QProgressBar *m_bar;
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

void setBusyProgress(qint64 rows, std::optional<quint64> total)
{
    if (busyWindow && !shown.empty())
        busyWindow->showProgress(shown.back().second, rows, total);
}

QString busyIndicatorText()
{
    return busyIndicatorVisible() ? busyWindow->text() : QString();
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
