// The movement record's display: type texts, the consumer's and sponsor's shares, the grid's
// cell painting and the form page's refresh for the current movement.

#include <framework/core/checks.h>
#include <framework/core/formatsettings.h>
#include "movementfields.h"
#include "screen.h"

#include <QPainter>
#include <QSignalBlocker>
#include <QStyleOptionFocusRect>

namespace acc00420 {

void TfrmPagClie::bindAccountEvents()
{
    cdsMovCliente->field(MovementField::IDTIPMOCVLI).onGetText =
        [this](fw::Field &sender, QString &text, bool display) { cdsMovClienteIDTIPMOCVLIGetText(sender, text, display); };
    cdsMovCliente->onCalcFields = [this](fw::RecordSet &set) { cdsMovClienteCalcFields(set); };
    cdsMovCliente->afterScroll = [this](fw::RecordSet &set) { cdsMovClienteAfterScroll(set); };
    dbgPadrao->onDrawColumnCell = [this](fw::TDBGrid &grid, const QRect &rect, int column, QStyle::State state) {
        dbgPadraoDrawColumnCell(grid, rect, column, state);
    };
}

void TfrmPagClie::cdsMovClienteIDTIPMOCVLIGetText(fw::Field &sender, QString &text, bool)
{
    const QString code = sender.asString();
    if (code == QLatin1String("C"))
        text = QStringLiteral("Crédito");
    else if (code == QLatin1String("D"))
        text = QStringLiteral("Débito");
    else if (code == QLatin1String("X"))
        text = QStringLiteral("Cancelado");
    else if (code == QLatin1String("A"))
        text = QStringLiteral("Déb-Ajuste");
}

void TfrmPagClie::cdsMovClienteCalcFields(fw::RecordSet &set)
{
    // Empty amounts count as zero.
    const double value = set.field(MovementField::VRMOVCLI).asFloat();
    const double percent = set.field(MovementField::VRPESUBSIDIO).asFloat();
    const double ceiling = set.field(MovementField::VRTETOSUBSID).asFloat();
    fw::Field &consumer = set.field(MovementField::VRCONSUMID);
    if (ceiling >= value)
        consumer.setAsFloat((100 - percent) * value / 100);
    else
        consumer.setAsFloat((100 - percent) * ceiling / 100);
    set.field(MovementField::VRPATROCINA).setAsFloat(value - consumer.asFloat());
}

// Colours by the names the statement has always used for them: clRed and clBlack as such,
// clBtnFace the palette's button colour (greyed rows), clHighlight and clCaptionText the
// selection's background and its text.
void TfrmPagClie::dbgPadraoDrawColumnCell(fw::TDBGrid &grid, const QRect &rect, int column, QStyle::State state)
{
    QPainter &canvas = *grid.canvas();
    const QPalette &palette = grid.palette();
    canvas.fillRect(rect, canvas.brush());
    const bool negative = cdsMovCliente->field(MovementField::VRSALDPECONS).asFloat() < 0
        || cdsMovCliente->field(MovementField::VRSALDOCONS).asFloat() < 0;
    QColor colour = negative ? QColor(Qt::red) : QColor(Qt::black);
    if (cdsMovCliente->field(MovementField::IDTIPMOCVLI).asString() == QLatin1String("X"))
        colour = palette.color(QPalette::Button);
    if (state & QStyle::State_Selected) {
        canvas.setBrush(palette.brush(QPalette::Active, QPalette::Highlight));
        canvas.fillRect(rect, canvas.brush());
        colour = palette.color(QPalette::Active, QPalette::HighlightedText);
    }
    const fw::Field *field = grid.columnField(column);
    QString text = field ? field->text() : QString();
    // A movement a failed send left here has no balances yet: it reads as pending, in italics,
    // until the next confirmed entry sends it.
    QFont font = grid.font();
    if (grid.paintedRow() >= 0 && cdsMovCliente->isPendingAt(grid.paintedRow())) {
        font.setItalic(true);
        if (field && (field->index() == MovementField::VRSALDOCONS || field->index() == MovementField::VRSALDPECONS))
            text = msgMensagensPadroes->Msg(QStringLiteral("registro_pendente"));
    }
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(text);
    canvas.setFont(font);
    canvas.setPen(colour);
    canvas.drawText(QRect(rect.left() + grid.columnWidth(column) - width - 2, rect.top() + 2, width, metrics.height()),
                    Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    if (state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.initFrom(&grid);
        focus.rect = rect;
        focus.backgroundColor = canvas.brush().color();
        grid.style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &canvas, &grid);
    }
}

void TfrmPagClie::showMovementMoment(const QDateTime &when)
{
    edtData->setText(when.isValid() ? fw::DateToStr(when.date()) : QString());
    edtHora->setText(when.isValid() ? fw::TimeToStr(when.time()) : QString());
}

void TfrmPagClie::cdsMovClienteAfterScroll(fw::RecordSet &set)
{
    const fw::DataSetState state = set.state();
    const fw::Field &moment = set.fieldByName(QStringLiteral("DTMOVCLI"));
    // 1. Date and time of the movement; a movement without one shows none.
    showMovementMoment(moment.asDateTime());
    // 2. A new movement is stamped when it is confirmed, not when it was started: the moment
    // it was started would be a time it never gets.
    if (state == fw::DataSetState::Insert && moment.isNull()) {
        edtData->setText(msgMensagensPadroes->Msg(QStringLiteral("no_ato")));
        edtHora->clear();
    }
    const QString code = set.fieldByName(QStringLiteral("IDTIPMOCVLI")).asString();
    {
        // Steps 3 and 4 set the values without running their change handlers.
        const QSignalBlocker valueQuiet(ndeValPago);
        const QSignalBlocker typeQuiet(cbbTipo);
        // 3. The company value, else the personal one.
        const double company = set.fieldByName(QStringLiteral("VRMOVCLI")).asFloat();
        ndeValPago->SetNumber(company != 0 ? company : set.fieldByName(QStringLiteral("VRMOVPESCONS")).asFloat());
        // 4. The type list; other codes keep its selection.
        if (code == QLatin1String("D"))
            cbbTipo->setCurrentIndex(0);
        else if (code == QLatin1String("C"))
            cbbTipo->setCurrentIndex(1);
    }
    cbbTipo->setVisible(code != QLatin1String("X"));
    edtCancelado->setVisible(code == QLatin1String("X"));
    // 5. The value type, only while browsing; index 1 (the personal value) shows no selection.
    if (state == fw::DataSetState::Browse) {
        const fw::Field &personal = set.fieldByName(QStringLiteral("VRMOVPESCONS"));
        cbbTipoValor->setCurrentIndex(personal.asFloat() != 0 && !fw::EmptyString(personal.asString()) ? 1 : 0);
    }
    // 6. The third record button stays disabled.
    thirdRecordButton()->setEnabled(false);
    copyToTwins({thirdRecordButton()});
    // 7. Cancellation, for a browsed movement that is not cancelled.
    btfCancelamento->setEnabled(code != QLatin1String("X") && state == fw::DataSetState::Browse && !set.isEmpty()
                                && !currentMovementPending());
    mnuCancelamento->setEnabled(btfCancelamento->isEnabled());
}

} // namespace acc00420
