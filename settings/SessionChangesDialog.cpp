#include "SessionChangesDialog.h"

#include "ui_SessionChangesDialog.h"

#include "TableFit.h"

#include <QPushButton>
#include <QTableWidgetItem>

#include <utility>

namespace ZORVI {

namespace {

enum Column { ColumnSetting = 0, ColumnAtConnect = 1, ColumnNow = 2 };

// Rows shown without scrolling.
constexpr int ROWS_SHOWN = 12;

QTableWidgetItem* cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

} // namespace

SessionChangesDialog::SessionChangesDialog(const Rows& rows, Revert revert, QWidget* parent)
    : QDialog(parent)
    , m_ui(new Ui::SessionChangesDialogClass)
    , m_revert(std::move(revert))
{
    m_ui->setupUi(this);
    connect(m_ui->m_btnRevertSelected, &QPushButton::clicked, this,
            &SessionChangesDialog::revertSelected);
    connect(m_ui->m_btnRevertAll, &QPushButton::clicked, this, &SessionChangesDialog::revertAll);
    connect(m_ui->m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_ui->m_tblChanges->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &SessionChangesDialog::updateButtons);
    showRows(rows);
}

SessionChangesDialog::~SessionChangesDialog() = default;

void SessionChangesDialog::showRows(const Rows& rows)
{
    m_rows = rows;
    QTableWidget* table = m_ui->m_tblChanges;
    table->clearSelection();
    table->setRowCount(int(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        table->setItem(row, ColumnSetting, cell(rows[row].caption));
        table->setItem(row, ColumnAtConnect, cell(rows[row].atConnect));
        table->setItem(row, ColumnNow, cell(rows[row].now));
    }
    if (rows.isEmpty())
        m_ui->m_lblSummary->setText(
            tr("No setting has changed since the ZORVIK Device was connected."));
    else if (rows.size() == 1)
        m_ui->m_lblSummary->setText(
            tr("1 setting has changed since the ZORVIK Device was connected. A reverted "
               "setting is written to the device and read back."));
    else
        m_ui->m_lblSummary->setText(
            tr("%1 settings have changed since the ZORVIK Device was connected. A reverted "
               "setting is written to the device and read back.")
                .arg(QString::number(rows.size())));
    TableFit::fit(m_ui->m_tblChanges, ROWS_SHOWN);
    updateButtons();
}

void SessionChangesDialog::revertSelected()
{
    QList<uint16_t> settings;
    for (const QModelIndex& index : m_ui->m_tblChanges->selectionModel()->selectedRows())
        settings.append(m_rows.at(index.row()).setting);
    revert(settings);
}

void SessionChangesDialog::revertAll()
{
    QList<uint16_t> settings;
    for (const Row& row : std::as_const(m_rows))
        settings.append(row.setting);
    revert(settings);
}

void SessionChangesDialog::revert(const QList<uint16_t>& settings)
{
    if (settings.isEmpty())
        return;
    // The window closes the list when the connection ends on the way.
    showRows(m_revert(settings));
}

void SessionChangesDialog::updateButtons()
{
    const bool any = !m_rows.isEmpty();
    m_ui->m_btnRevertAll->setEnabled(any);
    m_ui->m_btnRevertSelected->setEnabled(
        any && m_ui->m_tblChanges->selectionModel()->hasSelection());
}

} // namespace ZORVI
