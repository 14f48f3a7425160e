#include "fakeappserver.h"
#include <framework/core/logincontext.h>
#include "modelcolumn.h"
#include "movementfields.h"
#include "screen.h"
#include "statementpacket.h"

#include <QApplication>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

using namespace acc00420;

Q_DECLARE_METATYPE(TestMovement)
Q_DECLARE_METATYPE(std::optional<double>)

namespace {

// The screen with a statement loaded, shown (its grid paints), no server involved.
struct Loaded
{
    TfrmPagClie screen;

    explicit Loaded(const QList<TestMovement> &movements)
    {
        screen.resize(1000, 600);
        screen.show();
        screen.cdsMovCliente->loadFromPacket(statementPacket(movements));
    }
    fw::RecordSet &set() { return *screen.cdsMovCliente; }
    double value(const char *field) { return set().fieldByName(QLatin1String(field)).asFloat(); }
};

// The text colours painted in a cell, the background left aside.
QSet<QRgb> textColours(const QImage &image, const QRect &cell, QRgb background)
{
    QSet<QRgb> colours;
    for (int y = cell.top() + 1; y < cell.bottom(); ++y) {
        for (int x = cell.left() + 1; x < cell.right(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (pixel != background)
                colours.insert(pixel);
        }
    }
    return colours;
}

} // namespace

class TestStatement : public QObject
{
    Q_OBJECT
private slots:
    void computedShares_data()
    {
        QTest::addColumn<std::optional<double>>("value");
        QTest::addColumn<std::optional<double>>("percent");
        QTest::addColumn<std::optional<double>>("ceiling");
        QTest::addColumn<double>("consumer");
        QTest::addColumn<double>("sponsored");
        const std::optional<double> none;
        QTest::newRow("no subsidy data") << std::optional(10.0) << none << none << 0.0 << 10.0;
        QTest::newRow("ceiling above the value") << std::optional(100.0) << std::optional(30.0) << std::optional(150.0) << 70.0 << 30.0;
        QTest::newRow("ceiling below the value") << std::optional(100.0) << std::optional(30.0) << std::optional(50.0) << 35.0 << 65.0;
        QTest::newRow("ceiling equal to the value") << std::optional(100.0) << std::optional(30.0) << std::optional(100.0) << 70.0 << 30.0;
        QTest::newRow("no value at all") << none << std::optional(30.0) << std::optional(150.0) << 0.0 << 0.0;
    }
    void computedShares()
    {
        QFETCH(std::optional<double>, value);
        QFETCH(std::optional<double>, percent);
        QFETCH(std::optional<double>, ceiling);
        QFETCH(double, consumer);
        QFETCH(double, sponsored);
        TestMovement m{"0000000001", "D", value};
        m.subsidyPercent = percent;
        m.subsidyCeiling = ceiling;
        Loaded l({m});
        QCOMPARE(l.value("VRCONSUMID"), consumer);
        QCOMPARE(l.value("VRPATROCINA"), sponsored);
        QVERIFY(l.set().delta().indexOf("VRCONSUMID") < 0);
    }

    void typeTexts_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("credit") << "C" << "Crédito";
        QTest::newRow("debit") << "D" << "Débito";
        QTest::newRow("cancelled") << "X" << "Cancelado";
        QTest::newRow("adjustment") << "A" << "Déb-Ajuste";
        QTest::newRow("other") << "Z" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("null") << QString() << "";
    }
    void typeTexts()
    {
        QFETCH(QString, code);
        QFETCH(QString, text);
        Loaded l({{"0000000001", code, 1.0}});
        const fw::Field &type = l.set().fieldByName("IDTIPMOCVLI");
        QCOMPARE(type.displayText(), text);
        QCOMPARE(type.text(), text);
        const int column = modelColumnOf(*l.screen.dbgPadrao->recordModel(), "IDTIPMOCVLI");
        QCOMPARE(l.screen.dbgPadrao->model()->index(0, column).data().toString(), text);
        QCOMPARE(l.screen.dbgPadrao->model()->headerData(column, Qt::Horizontal).toString(), QStringLiteral("Desc. Tipo "));
    }

    // The named positions the screen reads per cell are those of the record's fields.
    void namedFieldPositions()
    {
        fw::RecordSet set;
        acc00420::defineMovementFields(set);
        const QList<std::pair<const char *, int>> named{
            {"CDCLIENTE", acc00420::MovementField::CDCLIENTE}, {"VRMOVCLI", acc00420::MovementField::VRMOVCLI},
            {"IDTIPMOCVLI", acc00420::MovementField::IDTIPMOCVLI}, {"VRMOVPESCONS", acc00420::MovementField::VRMOVPESCONS},
            {"VRSALDPECONS", acc00420::MovementField::VRSALDPECONS}, {"VRSALDOCONS", acc00420::MovementField::VRSALDOCONS},
            {"VRPESUBSIDIO", acc00420::MovementField::VRPESUBSIDIO}, {"VRTETOSUBSID", acc00420::MovementField::VRTETOSUBSID},
            {"VRCONSUMID", acc00420::MovementField::VRCONSUMID}, {"VRPATROCINA", acc00420::MovementField::VRPATROCINA}};
        for (const auto &[name, position] : named)
            QCOMPARE(set.fieldByName(QLatin1String(name)).index(), position);
        QCOMPARE(set.fieldCount(), acc00420::MovementField::VRPATROCINA + 1);
    }

    void gridColumns()
    {
        TfrmPagClie screen;
        const QList<fw::GridColumn> &columns = screen.dbgPadrao->columns();
        QStringList fields, titles;
        for (int c = 0; c < columns.size(); ++c) {
            fields.append(columns[c].fieldName);
            titles.append(screen.dbgPadrao->model()->headerData(c, Qt::Horizontal).toString());
        }
        QCOMPARE(fields, (QStringList{"TIPO", "DTMOVCLI", "VRMOVPESCONS", "VRSALDPECONS", "VRMOVCLI", "VRSALDOCONS",
                                      "CDFILIAL", "CDCAIXA", "NRSEQVENDA", "IDTIPMOCVLI", "VRPESUBSIDIO",
                                      "VRTETOSUBSID", "VRCONSUMID", "VRPATROCINA"}));
        QCOMPARE(titles, (QStringList{"Tipo", "Data", "Vr. Pessoal", "Saldo Pessoal", "Vr. Empresa", "Saldo Empresa",
                                      "Filial", "Caixa", "Venda", "Desc. Tipo ", "% Subs.", "Teto Subs.",
                                      "A Pagar (Cons)", "Vr. Patrocinado"}));
        const QList<int> shown{0, 1, 4, 5, 6, 7, 8, 9};
        const QList<int> widths{28, 119, -1, -1, 78, 80, 35, 36, 77, 91};
        for (int c = 0; c < 14; ++c) {
            QCOMPARE(screen.dbgPadrao->isColumnHidden(c), !shown.contains(c));
            if (c < widths.size() && widths[c] > 0)
                QCOMPARE(screen.dbgPadrao->columnWidth(c),
                         std::max(screen.dbgPadrao->scaledWidth(widths[c]),
                                  screen.dbgPadrao->horizontalHeader()->sectionSizeHint(c)));
        }
        QCOMPARE(screen.dbgPadrao->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(screen.dbgPadrao->verticalHeader()->isHidden());
        QCOMPARE(screen.dbgPadrao->selectionBehavior(), QAbstractItemView::SelectItems);
    }

    // Titles and the widest values fit at the default font and at a large one.
    void gridColumnsFitTheirText_data()
    {
        QTest::addColumn<int>("pixelSize");
        QTest::newRow("default font") << 0;
        QTest::newRow("large font") << 20;
    }
    void gridColumnsFitTheirText()
    {
        QFETCH(int, pixelSize);
        TfrmPagClie screen;
        fw::TDBGrid &grid = *screen.dbgPadrao;
        if (pixelSize > 0) {
            QFont large = grid.font();
            large.setPixelSize(pixelSize);
            grid.setFont(large);
        }
        const QFontMetrics text(grid.font());
        const QFontMetrics titles(grid.horizontalHeader()->font());
        const QList<std::pair<int, QString>> widest{{1, "31/12/2026 23:59:59"}, {4, "-99.999,99"}, {5, "-99.999,99"},
                                                    {6, "0001"}, {7, "001"}, {8, "1234567890"}};
        for (const auto &[column, value] : widest) {
            const QString title = grid.model()->headerData(column, Qt::Horizontal).toString();
            QVERIFY2(grid.columnWidth(column) > titles.horizontalAdvance(title), qPrintable(title));
            QVERIFY2(grid.columnWidth(column) > text.horizontalAdvance(value) + 4, qPrintable(value));
        }
        QVERIFY(grid.verticalHeader()->defaultSectionSize() > text.height());
    }

    void cellColours_data()
    {
        QTest::addColumn<TestMovement>("movement");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QString>("expected"); // red, black, button, selection
        QTest::newRow("personal balance -0.01") << TestMovement{"1", "D", 5.0, 0.0, -0.01, 5.0} << false << "red";
        QTest::newRow("company balance negative") << TestMovement{"1", "D", 5.0, 0.0, 0.0, -3.0} << false << "red";
        QTest::newRow("balances positive") << TestMovement{"1", "C", 5.0, 0.0, 1.0, 5.0} << false << "black";
        QTest::newRow("cancelled with negative balances") << TestMovement{"1", "X", 5.0, 0.0, -1.0, -1.0} << false << "button";
        QTest::newRow("selected negative cell") << TestMovement{"1", "D", 5.0, 0.0, -1.0, -1.0} << true << "selection";
    }
    void cellColours()
    {
        QFETCH(TestMovement, movement);
        QFETCH(bool, selected);
        QFETCH(QString, expected);
        TestMovement other{"2", "C", 1.0, 0.0, 1.0, 1.0};
        Loaded l({other, movement});
        fw::TDBGrid *grid = l.screen.dbgPadrao;
        QFont exact = grid->font();
        exact.setStyleStrategy(QFont::NoAntialias); // every text pixel in the pen's own colour
        grid->setFont(exact);
        const int column = modelColumnOf(*grid->recordModel(), "VRMOVCLI");
        const QModelIndex cell = grid->model()->index(1, column);
        if (selected)
            grid->setCurrentIndex(cell);
        else
            grid->setCurrentIndex(grid->model()->index(0, 0));
        grid->clearFocus();
        const QImage image = grid->viewport()->grab().toImage();
        const QRect rect = grid->visualRect(cell);
        const QPalette &p = grid->palette();
        const QRgb background = (selected ? p.color(QPalette::Active, QPalette::Highlight) : p.color(QPalette::Base)).rgb();
        QCOMPARE(QColor(image.pixel(rect.left() + 1, rect.center().y())), QColor(background));
        QRgb text = QColor(Qt::black).rgb();
        if (expected == "red") text = QColor(Qt::red).rgb();
        if (expected == "button") text = p.color(QPalette::Button).rgb();
        if (expected == "selection") text = p.color(QPalette::Active, QPalette::HighlightedText).rgb();
        QCOMPARE(textColours(image, rect, background), QSet<QRgb>{text});
    }

    void textIsRightAlignedAtTwoPixels()
    {
        Loaded l({{"1", "C", 1234.5, 0.0, 1.0, 1.0}});
        fw::TDBGrid *grid = l.screen.dbgPadrao;
        QFont exact = grid->font();
        exact.setStyleStrategy(QFont::NoAntialias);
        grid->setFont(exact);
        grid->setCurrentIndex(grid->model()->index(0, 0));
        const QImage image = grid->viewport()->grab().toImage();
        for (const char *field : {"VRMOVCLI", "DTMOVCLI", "IDTIPMOCVLI"}) {
            const int column = modelColumnOf(*grid->recordModel(), QLatin1String(field));
            const QRect rect = grid->visualRect(grid->model()->index(0, column));
            int rightmost = -1;
            for (int x = rect.left(); x <= rect.right(); ++x) {
                for (int y = rect.top() + 1; y < rect.bottom(); ++y) {
                    if (image.pixel(x, y) == QColor(Qt::black).rgb())
                        rightmost = x;
                }
            }
            const int textRight = rect.left() + grid->columnWidth(column) - 2;
            QVERIFY2(rightmost <= textRight && rightmost >= textRight - 4, qPrintable(QStringLiteral("%1: %2 vs %3").arg(QLatin1String(field)).arg(rightmost).arg(textRight)));
        }
    }

    void refreshFollowsTheMovement()
    {
        Loaded l({{"1", "D", 10.0, 0.0}, {"2", "X", 20.0, 0.0}, {"3", "A", 30.0, 0.0}});
        QSignalSpy typeChanges(l.screen.cbbTipo, &QComboBox::currentIndexChanged);
        QSignalSpy valueChanges(l.screen.ndeValPago, &QLineEdit::textChanged);
        l.set().first();
        QCOMPARE(l.screen.cbbTipo->currentIndex(), 0);
        QVERIFY(!l.screen.cbbTipo->isHidden());
        QVERIFY(l.screen.edtCancelado->isHidden());
        QCOMPARE(l.screen.edtData->text(), QStringLiteral("20/11/2026"));
        QCOMPARE(l.screen.edtHora->text(), QStringLiteral("10:30:00"));
        QCOMPARE(l.screen.ndeValPago->text(), QStringLiteral("10,00"));
        l.set().next(); // cancelled
        QVERIFY(l.screen.cbbTipo->isHidden());
        QCOMPARE(l.screen.cbbTipo->currentIndex(), 0);
        QVERIFY(!l.screen.edtCancelado->isHidden());
        QCOMPARE(l.screen.edtCancelado->text(), QStringLiteral("Cancelado"));
        l.set().next(); // adjustment: the list keeps the debit's choice
        QVERIFY(!l.screen.cbbTipo->isHidden());
        QCOMPARE(l.screen.cbbTipo->currentIndex(), 0);
        QCOMPARE(typeChanges.count(), 0);
        QCOMPARE(valueChanges.count(), 0); // the change handlers were detached
    }

    void personalValueShownWhenTheCompanyValueIsZero()
    {
        Loaded l({{"1", "D", 0.0, 12.5}});
        QCOMPARE(l.screen.ndeValPago->text(), QStringLiteral("12,50"));
        QCOMPARE(l.screen.cbbTipoValor->currentIndex(), -1); // the personal value: no item for it
        l.set().loadFromPacket(statementPacket({{"1", "D", 5.0, 0.0}}));
        QCOMPARE(l.screen.cbbTipoValor->currentIndex(), 0);
        QCOMPARE(l.screen.cbbTipoValor->currentText(), QStringLiteral("Empresa"));
    }

    void cancellationOnlyForABrowsedLiveMovement()
    {
        Loaded l({{"1", "D", 10.0}, {"2", "X", 10.0}});
        auto *button = l.screen.btfCancelamento;
        auto *item = l.screen.mnuCancelamento;
        l.set().first();
        QVERIFY(button->isEnabled());
        QVERIFY(item->isEnabled());
        QVERIFY(!l.screen.thirdRecordButton()->isEnabled());
        QVERIFY(!l.screen.twinOf(l.screen.thirdRecordButton())->isEnabled());
        l.set().next();
        QVERIFY(!button->isEnabled());
        QVERIFY(!item->isEnabled());
        l.set().first();
        FakeAppServer server; // a new record asks the server for its number
        server.answerBare("getPrxMovClie", QStringLiteral("0000000003"));
        fw::LoginContext context;
        context.webPort = server.port();
        context.serverTls = false; // the stand-in server speaks plain TCP
        fw::setLoginContext(context);
        l.set().insert(); // the refresh of a new record
        QVERIFY(!button->isEnabled());
        QCOMPARE(l.screen.edtData->text(), QStringLiteral("no ato da confirmação")); // stamped at posting
        QVERIFY(l.screen.edtHora->text().isEmpty());
        QVERIFY(button->isHidden()); // the menu item is the way in
    }

    void theRecordArrowsFollowTheCursor()
    {
        Loaded l({{"1", "D", 1.0}, {"2", "C", 2.0}, {"3", "D", 3.0}});
        auto enabled = [&l] {
            QList<bool> on;
            for (QToolButton *b : {l.screen.sbtPrimeiro, l.screen.sbtAnterior, l.screen.sbtProximo, l.screen.sbtUltimo}) {
                on.append(b->isEnabled());
                if (l.screen.twinOf(b)->isEnabled() != b->isEnabled())
                    on.append(false); // the twin disagrees
            }
            return on;
        };
        l.set().first();
        QCOMPARE(enabled(), (QList<bool>{false, false, true, true}));
        l.set().next();
        QCOMPARE(enabled(), (QList<bool>{true, true, true, true}));
        l.set().last();
        QCOMPARE(enabled(), (QList<bool>{true, true, false, false}));
    }

    void formPageBindings()
    {
        Loaded l({{"0000000042", "D", 10.0}});
        QCOMPARE(l.screen.dbeNumero->text(), QStringLiteral("0000000042"));
        QVERIFY(l.screen.dbeNumero->isReadOnly());
        QVERIFY(l.screen.grbSubsidio->isHidden());
        QCOMPARE(l.screen.cbbTipo->count(), 2);
        QCOMPARE(l.screen.cbbTipo->itemText(0), QStringLiteral("Débito"));
        QCOMPARE(l.screen.cbbTipo->itemText(1), QStringLiteral("Crédito"));
        QCOMPARE(l.screen.cbbTipoValor->count(), 1);
        for (QWidget *w : {static_cast<QWidget *>(l.screen.dbeDataAtu), static_cast<QWidget *>(l.screen.dbeNmOperador),
                           static_cast<QWidget *>(l.screen.dbeDtRecMovClie), static_cast<QWidget *>(l.screen.dbeOpeReca)})
            QVERIFY(static_cast<QLineEdit *>(w)->isReadOnly());
        QVERIFY(l.screen.dbeDsAtuMovClie->isReadOnly());
        QCOMPARE(l.screen.ndeValPago->decimals(), 2);
    }
};

QTEST_MAIN(TestStatement)
#include "tst_statement.moc"
