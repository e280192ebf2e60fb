#include "SettingsPreview.h"

#include "TableFit.h"

#include "ui_SettingsPreview.h"

#include "ParameterRules.h"
#include "ShownText.h"

#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QScrollBar>
#include <QPushButton>
#include <QStringList>
#include <QTableWidgetItem>

#include <algorithm>
#include <utility>

namespace ZORVI {

namespace {

enum Column { ColumnSetting = 0, ColumnCurrent = 1, ColumnNew = 2 };

// Rows shown without scrolling; a reset of every setting scrolls.
constexpr int ROWS_SHOWN = 14;

// The colour of a row the rules correct, beside its warning icon, and its
// text: dark on the pale background whatever the palette's text colour (a
// dark scheme's light text would be unreadable on it).
const QColor CORRECTED_BACKGROUND(255, 236, 179);
const QColor CORRECTED_TEXT(Qt::black);

QString number(int value)
{
    return QString::number(value);
}

QString versionText(uint16_t major, uint16_t minor)
{
    return QStringLiteral("%1.%2").arg(number(major), number(minor));
}

// A serial number is not split across lines.
QString unbroken(const std::string& text)
{
    return ShownText::of(text).replace(QLatin1Char(' '), QChar(0x00A0));
}

QTableWidgetItem* cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

} // namespace

SettingsPreview::SettingsPreview(const SettingsPlan& plan, Purpose purpose, const QString& source,
                                 const DeviceInfo& device, Wording wording, QWidget* parent)
    : QDialog(parent)
    , m_ui(new Ui::SettingsPreviewClass)
    , m_plan(plan)
    , m_purpose(purpose)
    , m_source(source)
    , m_device(device)
    , m_wording(std::move(wording))
{
    m_ui->setupUi(this);
    if (m_purpose == Purpose::Compare)
        setWindowTitle(tr("Compare with File"));
    else if (m_purpose == Purpose::Reset)
        setWindowTitle(tr("Reset to Factory Settings"));
    else if (m_purpose == Purpose::Restore)
        setWindowTitle(tr("Restore Settings"));
    else
        setWindowTitle(tr("Load Settings"));
    showSummary();
    if (m_plan.refusal() == SettingsPlan::Refusal::OutsideLimits)
        showOutsideLimits();
    else if (m_plan.refusal() == SettingsPlan::Refusal::Rules)
        showRulesRefusal();
    else
        showRows();
    showCorrections();
    showNotes();
    showButtons();
    fitTable();
    adjustSize();
}

SettingsPreview::~SettingsPreview() = default;

bool SettingsPreview::offersApply() const
{
    return m_purpose != Purpose::Compare && m_plan.canApply();
}

void SettingsPreview::showSummary()
{
    const QString what = m_purpose == Purpose::Reset
        ? tr("the factory settings")
        : tr("\"%1\"").arg(ShownText::of(m_source));
    QString summary;
    if (m_plan.refused())
        summary = tr("%1 cannot be applied: nothing will be written to the ZORVIK Device.")
                      .arg(what);
    else if (m_plan.rows().empty())
        summary = tr("The ZORVIK Device already holds %1: there is nothing to change.").arg(what);
    else if (m_purpose == Purpose::Compare)
        summary = tr("Loading %1 would change %2 settings of the ZORVIK Device:")
                      .arg(what, number(int(m_plan.rows().size())));
    else
        summary = tr("Applying %1 changes %2 settings of the ZORVIK Device. Nothing is written "
                     "until you press Apply.")
                      .arg(what, number(int(m_plan.rows().size())));
    if (m_purpose == Purpose::Restore && !m_plan.refused() && !m_plan.rows().empty())
        summary = tr("Restore the settings you had before the update?") + QLatin1Char(' ')
            + summary;
    m_ui->m_lblSummary->setText(summary);
}

void SettingsPreview::showRows()
{
    if (m_purpose == Purpose::Compare)
        m_ui->m_tblChanges->horizontalHeaderItem(ColumnNew)->setText(tr("In the File"));
    m_ui->m_tblChanges->setRowCount(int(m_plan.rows().size()));
    for (size_t index = 0; index < m_plan.rows().size(); ++index)
        showRow(int(index), m_plan.rows()[index]);
    m_ui->m_tblChanges->setVisible(!m_plan.rows().empty());
}

void SettingsPreview::showRow(int index, const SettingsPlan::Row& row)
{
    m_ui->m_tblChanges->setItem(index, ColumnSetting, cell(m_wording.caption(row.id)));
    m_ui->m_tblChanges->setItem(index, ColumnCurrent, cell(m_wording.value(row.id, row.current)));
    QTableWidgetItem* newValue = cell(m_wording.value(row.id, row.stored));
    if (row.corrected())
        markCorrected(newValue, row);
    m_ui->m_tblChanges->setItem(index, ColumnNew, newValue);
}

// What the user asked for is not what is stored: the row says so in words,
// with an icon and a colour, so that it is not missed in a long table.
void SettingsPreview::markCorrected(QTableWidgetItem* newValue, const SettingsPlan::Row& row) const
{
    if (row.asked)
        newValue->setText(tr("%1 - corrected from %2")
                              .arg(newValue->text(), m_wording.value(row.id, row.requested)));
    else
        newValue->setText(tr("%1 - corrected").arg(newValue->text()));
    newValue->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    newValue->setBackground(QBrush(CORRECTED_BACKGROUND));
    newValue->setForeground(QBrush(CORRECTED_TEXT));
    newValue->setToolTip(tr("The rules store this value instead; see below the table."));
}

// Nothing of the file is applied: every value this device does not take is
// listed with what it allows.
void SettingsPreview::showOutsideLimits()
{
    m_ui->m_tblChanges->horizontalHeaderItem(ColumnCurrent)->setText(tr("In the File"));
    m_ui->m_tblChanges->horizontalHeaderItem(ColumnNew)->setText(tr("This Device Allows"));
    const std::vector<Rules::Verdict>& refused = m_plan.outsideLimits();
    m_ui->m_tblChanges->setRowCount(int(refused.size()));
    for (size_t index = 0; index < refused.size(); ++index) {
        const Rules::Verdict& verdict = refused[index];
        const int row = int(index);
        m_ui->m_tblChanges->setItem(row, ColumnSetting, cell(m_wording.caption(verdict.id)));
        m_ui->m_tblChanges->setItem(row, ColumnCurrent, cell(number(verdict.value)));
        m_ui->m_tblChanges->setItem(row, ColumnNew, cell(allowedText(verdict)));
    }
    m_ui->m_lblCorrections->setText(
        tr("These values are outside this ZORVIK Device's limits. Correct them in the file, or "
           "load a file saved from this device."));
}

QString SettingsPreview::allowedText(const Rules::Verdict& verdict) const
{
    switch (verdict.refusal) {
    case Rules::Refusal::NotDescribed: return tr("not described by this device");
    case Rules::Refusal::NotAPreset:
        return tr("a preset of the list, %1 to %2")
            .arg(number(0), number(Rules::presetCount(verdict.id) - 1));
    case Rules::Refusal::NotADirection: return tr("1 (Normal) or -1 (Reverse)");
    default: break;
    }
    return tr("%1 to %2").arg(number(verdict.limits.minimum), number(verdict.limits.maximum));
}

void SettingsPreview::showRulesRefusal()
{
    m_ui->m_tblChanges->hide();
    const Rules::Verdict& verdict = m_plan.verdict();
    if (verdict.refusal == Rules::Refusal::TailServoRule) {
        m_ui->m_lblCorrections->setText(
            tr("A Center Position Pulse Length of %1 us allows a Tail Servo Frequency of at most "
               "%2 Hz, and no frame rate the rules could lower to fits it.")
                .arg(number(m_plan.tailServo().pulseLength),
                     number(m_plan.tailServo().frequencyLimit)));
        return;
    }
    if (verdict.refusal == Rules::Refusal::GeometryEntry) {
        m_ui->m_lblCorrections->setText(
            tr("%1: the swash plate entries form no geometry of the list (%2).")
                .arg(m_wording.caption(verdict.id),
                     QString::fromStdString(Rules::geometryNames())));
        return;
    }
    m_ui->m_lblCorrections->setText(
        tr("%1: %2 is refused.").arg(m_wording.caption(verdict.id), number(verdict.value)));
}

void SettingsPreview::showCorrections()
{
    if (m_plan.refused()) {
        m_ui->m_lblCorrections->setVisible(!m_ui->m_lblCorrections->text().isEmpty());
        return;
    }
    const Rules::TailServoOutcome& tail = m_plan.tailServo();
    QString text;
    if (tail.kind == Rules::TailServoOutcome::ReducedToPreset)
        text = tr("Corrected: a Center Position Pulse Length of %1 us allows a Tail Servo "
                  "Frequency of at most %2 Hz, so the frame rate is lowered to the 333 Hz "
                  "preset.");
    else if (tail.kind == Rules::TailServoOutcome::ReducedToLimit)
        text = tr("Corrected: a Center Position Pulse Length of %1 us allows a Tail Servo "
                  "Frequency of at most %2 Hz, so the frame rate is lowered to %2 Hz.");
    if (!text.isEmpty())
        m_ui->m_lblCorrections->setText(
            text.arg(number(tail.pulseLength), number(tail.frequencyLimit)));
    m_ui->m_lblCorrections->setVisible(!text.isEmpty());
}

void SettingsPreview::showNotes()
{
    QStringList lines;
    for (SettingsPlan::Note note : m_plan.notes())
        lines.append(QStringLiteral("- ") + noteText(note));
    if (m_plan.refusal() == SettingsPlan::Refusal::OtherHardware)
        lines.append(QStringLiteral("- ")
                     + tr("The file was saved from hardware version %1; this ZORVIK Device is "
                          "hardware version %2. Settings of another hardware do not fit it.")
                           .arg(versionText(m_plan.origin().hardwareMajor,
                                            m_plan.origin().hardwareMinor),
                                versionText(m_device.hardwareMajor(), m_device.hardwareMinor())));
    m_ui->m_lblNotes->setText(lines.join(QLatin1Char('\n')));
    m_ui->m_lblNotes->setVisible(!lines.isEmpty());
}

QString SettingsPreview::noteText(SettingsPlan::Note note) const
{
    const SettingsFile::Origin& origin = m_plan.origin();
    switch (note) {
    case SettingsPlan::Note::NoOrigin:
        return tr("The file does not name the ZORVIK Device it was saved from.");
    case SettingsPlan::Note::OtherSerial:
        return tr("The file was saved from another ZORVIK Device (serial number %1); this one "
                  "is %2.")
            .arg(unbroken(origin.serial), unbroken(m_device.serialLabelText()));
    case SettingsPlan::Note::OtherDataVersion:
        return tr("The file was saved under data version %1; this ZORVIK Device has data "
                  "version %2.")
            .arg(versionText(origin.dataMajor, origin.dataMinor),
                 versionText(m_device.dataMajor(), m_device.dataMinor()));
    case SettingsPlan::Note::OtherHardwareMinor:
        return tr("The file was saved from hardware version %1; this ZORVIK Device is hardware "
                  "version %2.")
            .arg(versionText(origin.hardwareMajor, origin.hardwareMinor),
                 versionText(m_device.hardwareMajor(), m_device.hardwareMinor()));
    case SettingsPlan::Note::NotOffered: {
        QStringList captions;
        for (uint16_t id : m_plan.notOffered())
            captions.append(m_wording.caption(id));
        return tr("This ZORVIK Device's firmware has no %1: left out.")
            .arg(captions.join(QStringLiteral(", ")));
    }
    }
    return QString();
}

// Every value is read in full, without a truncated "corrected from ...", and
// nothing is scrolled sideways: each column is as wide as its longest text,
// and the last one takes whatever the dialog has beyond that. (A header that
// stretches its last section remembers a width of its own for it, wider
// than short values, which pushed the table past its edge.)
void SettingsPreview::fitTable()
{
    TableFit::fit(m_ui->m_tblChanges, ROWS_SHOWN);
}

// Apply stores; Cancel (Close where there is nothing to store) leaves the
// device as it is.
void SettingsPreview::showButtons()
{
    if (!offersApply()) {
        m_ui->m_buttons->setStandardButtons(QDialogButtonBox::Close);
        connect(m_ui->m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        return;
    }
    QPushButton* apply = m_ui->m_buttons->button(QDialogButtonBox::Apply);
    connect(apply, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // A stray Enter must not write to the device.
    m_ui->m_buttons->button(QDialogButtonBox::Cancel)->setDefault(true);
}

} // namespace ZORVI
