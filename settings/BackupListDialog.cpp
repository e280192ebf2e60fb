#include "BackupListDialog.h"

#include "ui_BackupListDialog.h"

#include "TableFit.h"

#include <QPushButton>
#include <QTableWidgetItem>

namespace ZORVI {

namespace {

enum Column { ColumnSaved = 0, ColumnFirmware = 1, ColumnDiffering = 2 };

constexpr int ROWS_SHOWN = 10;

QTableWidgetItem* cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

} // namespace

BackupListDialog::BackupListDialog(const QList<Row>& rows, const QString& folder,
                                   QWidget* parent)
    : QDialog(parent)
    , m_ui(new Ui::BackupListDialogClass)
{
    m_ui->setupUi(this);
    m_restore = m_ui->m_buttons->addButton(tr("&Restore..."), QDialogButtonBox::AcceptRole);
    m_restore->setObjectName(QStringLiteral("m_btnRestore"));
    m_restore->setAccessibleName(tr("Restore"));
    m_restore->setDefault(true);
    connect(m_ui->m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_ui->m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_ui->m_tblBackups, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);
    connect(m_ui->m_tblBackups->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &BackupListDialog::updateButton);
    showRows(rows);
    showSummary(int(rows.size()), folder);
    updateButton();
}

BackupListDialog::~BackupListDialog() = default;

int BackupListDialog::chosen() const
{
    const QModelIndexList selected = m_ui->m_tblBackups->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.constFirst().row();
}

void BackupListDialog::showRows(const QList<Row>& rows)
{
    QTableWidget* table = m_ui->m_tblBackups;
    table->setRowCount(int(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        table->setItem(row, ColumnSaved, cell(rows[row].saved));
        table->setItem(row, ColumnFirmware, cell(rows[row].firmware));
        table->setItem(row, ColumnDiffering, cell(QString::number(rows[row].differing)));
    }
    // The newest is the one a pilot usually wants back after an update.
    if (!rows.isEmpty())
        table->selectRow(0);
    TableFit::fit(table, ROWS_SHOWN);
}

void BackupListDialog::showSummary(int count, const QString& folder)
{
    if (count == 0) {
        m_ui->m_lblSummary->setText(
            tr("No backup of this ZORVIK Device was found in %1. A backup is saved before "
               "every firmware update.")
                .arg(folder.isEmpty() ? tr("the backups folder") : folder));
        m_ui->m_tblBackups->hide();
        return;
    }
    m_ui->m_lblSummary->setText(
        tr("Backups of this ZORVIK Device, newest first. Restoring one shows first what it "
           "would change."));
}

void BackupListDialog::updateButton()
{
    m_restore->setEnabled(chosen() >= 0);
}

} // namespace ZORVI
