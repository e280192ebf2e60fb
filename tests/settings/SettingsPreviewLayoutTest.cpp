// The settings preview shows every word of every row at its own size: no
// column is cut and nothing has to be scrolled sideways, for a typical load
// of a setup from another unit (a corrected tail servo frame rate, notes on
// where the file came from), against the simulated device in the test's
// process.

#include "DeviceWithState.h"
#include "ModalBoxAnswerer.h"
#include "ParameterIds.h"
#include "SettingsPreview.h"
#include "SettingsWindowSteps.h"
#include "WindowChild.h"
#include "ZORVIKMiniSetup.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QPointer>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

using ZORVI::SettingsPreview;
using ZORVI::ZORVIKMiniSetup;

using namespace SettingsWindowSteps;
using namespace ZORVI::EEPROM;

namespace {

// Saved from another unit under an older data version: another servo frame
// rate, a user-defined gain, and a long tail servo pulse that does not allow
// the 560 Hz the file asks for.
const QByteArray SPORT_SETUP = "# ZORVIK settings\n"
                               "# hardware 8.2, application 3.1.7, data 1.1\n"
                               "# serial 9E AE 2C 04 2C 25 22 FA DB 8D BE 80\n"
                               "SwashServoFrequencyID = 3\n"
                               "TailServoCPPLID = 0\n"
                               "TailServoCPPL = 2000\n"
                               "TailServoFrequencyID = 5\n"
                               "HeadingLockGainID = 0\n"
                               "HeadingLockGain = 75\n";

// How the preview's table looked while it was up.
struct SeenTable {
    int rows = 0;
    bool sidewaysScrollBar = true;
    QStringList cutColumns; // "New Value: needs 310, has 250"
    int colouredCells = 0;
    // Cells on a colour of their own whose text does not bring its own
    // colour with 4.5:1 against it (a dark scheme's light text on a pale
    // background): "row 2: 1.2:1".
    QStringList unreadableCells;
};

// The WCAG contrast ratio of two colours.
double contrast(const QColor& first, const QColor& second)
{
    const auto luminance = [](const QColor& colour) {
        const auto channel = [](double value) {
            return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF())
            + 0.0722 * channel(colour.blueF());
    };
    const double a = luminance(first) + 0.05;
    const double b = luminance(second) + 0.05;
    return std::max(a, b) / std::min(a, b);
}

void lookAtColouredCells(QTableWidget& table, SeenTable* seen)
{
    for (int row = 0; row < table.rowCount(); ++row) {
        for (int column = 0; column < table.columnCount(); ++column) {
            const QTableWidgetItem* cell = table.item(row, column);
            if (!cell || cell->background().style() == Qt::NoBrush)
                continue;
            ++seen->colouredCells;
            const double ratio = cell->foreground().style() == Qt::NoBrush
                ? 0.0
                : contrast(cell->foreground().color(), cell->background().color());
            if (ratio < 4.5)
                seen->unreadableCells.append(
                    QStringLiteral("row %1: %2:1").arg(row).arg(ratio, 0, 'f', 1));
        }
    }
}

SeenTable look(SettingsPreview& preview)
{
    SeenTable seen;
    auto* table = child<QTableWidget>(preview, "m_tblChanges");
    seen.rows = table->rowCount();
    seen.sidewaysScrollBar = table->horizontalScrollBar()->isVisible();
    QHeaderView* header = table->horizontalHeader();
    for (int column = 0; column < table->columnCount(); ++column) {
        // Public only on the base class.
        const QAbstractItemView* view = table;
        const int needed = std::max(view->sizeHintForColumn(column),
                                    header->sectionSizeHint(column));
        if (needed > table->columnWidth(column))
            seen.cutColumns.append(QStringLiteral("%1: needs %2, has %3")
                                       .arg(table->horizontalHeaderItem(column)->text())
                                       .arg(needed)
                                       .arg(table->columnWidth(column)));
    }
    lookAtColouredCells(*table, &seen);
    return seen;
}

} // namespace

class SettingsPreviewLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void previewShowsEveryColumnWhole_data();
    void previewShowsEveryColumnWhole();
};

void SettingsPreviewLayoutTest::previewShowsEveryColumnWhole_data()
{
    QTest::addColumn<Values>("device");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("rows");
    // Rows the rules correct, on their own colour.
    QTest::addColumn<int>("corrected");

    QTest::newRow("a setup from another unit loaded")
        << Values{} << QStringLiteral("action_LoadSettings") << 6 << 1;
    // More rows than the table shows at once: it scrolls down, not sideways.
    QTest::newRow("a far-off device reset to the factory settings")
        << Values{{SwashServoFrequencyID, 3}, {SwashServoFrequency, 120},
                  {TailServoFrequencyID, 0},  {TailServoFrequency, 300},
                  {TailServoCPPLID, 0},       {TailServoCPPL, 1000},
                  {StickDeadbandID, 0},       {StickDeadband, 7},
                  {PitchingUpBehaviourID, 0}, {PitchingUpBehaviour, 80},
                  {PitchBoostID, 0},          {PitchBoost, 40},
                  {CyclicBoostID, 0},         {CyclicBoost, 25},
                  {HeadingLockGainID, 0},     {HeadingLockGain, 75},
                  {RevoMixID, 0},             {TorqueDirection, -1},
                  {RevoMixPitch, 20},         {RevoMixCyclic, -20},
                  {TailAsymmetry, 10},        {SwashServo1Angle, 30},
                  {SwashServo2Angle, 150},    {SwashServo3Angle, 270}}
        << QStringLiteral("action_ResetToFactorySettings") << 24 << 0;
}

void SettingsPreviewLayoutTest::previewShowsEveryColumnWhole()
{
    QFETCH(Values, device);
    QFETCH(QString, action);
    QFETCH(int, rows);
    QFETCH(int, corrected);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("sport.zset"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(SPORT_SETUP), SPORT_SETUP.size());
    file.close();

    Device simulated(device);
    QVERIFY2(simulated.isReady(), simulated.device().error().c_str());
    ZORVIKMiniSetup window(simulated.control());
    ModalBoxAnswerer boxes(&window);
    choosePort(window, simulated.portName());
    QVERIFY(isConnected(window));
    window.setFileChooser([path](QWidget*, ZORVIKMiniSetup::FileDialog, const QString&,
                                 const QString&) { return path; });

    QList<SeenTable> seen;
    QPointer<SettingsPreview> last;
    boxes.setOtherHandler([&](QWidget* modal) {
        auto* preview = qobject_cast<SettingsPreview*>(modal);
        if (!preview || preview == last)
            return false;
        last = preview;
        seen.append(look(*preview));
        preview->reject();
        return true;
    });
    QAction* start = window.findChild<QAction*>(action);
    QVERIFY(start);
    start->trigger();

    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].rows, rows);
    QVERIFY(!seen[0].sidewaysScrollBar);
    QVERIFY2(seen[0].cutColumns.isEmpty(), qPrintable(seen[0].cutColumns.join(QLatin1String("; "))));
    QCOMPARE(seen[0].colouredCells, corrected);
    QVERIFY2(seen[0].unreadableCells.isEmpty(),
             qPrintable(seen[0].unreadableCells.join(QLatin1String("; "))));
    QCOMPARE(simulated.writes(), 0);
}

QTEST_MAIN(SettingsPreviewLayoutTest)
#include "SettingsPreviewLayoutTest.moc"
