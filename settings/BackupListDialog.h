#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include <memory>

class QPushButton;

namespace Ui {
class BackupListDialogClass;
}

namespace ZORVI {

// The backups of the connected unit, newest first: when each was saved,
// the firmware the unit ran then, and how many settings differ from what it
// holds now. Choosing one ("Restore...") only chooses: the window then
// shows the load preview, and nothing is written before the user applies
// it there.
class BackupListDialog : public QDialog {
    Q_OBJECT

public:
    // Texts as the window shows them (escaped where they come from a file).
    struct Row {
        QString saved;
        QString firmware;
        int differing = 0;
    };

    // `folder` is where the backups are looked for, to name when there are
    // none.
    BackupListDialog(const QList<Row>& rows, const QString& folder, QWidget* parent = nullptr);
    ~BackupListDialog() override;

    // The row chosen, once exec() returned Accepted.
    int chosen() const;

private:
    void showRows(const QList<Row>& rows);
    void showSummary(int count, const QString& folder);
    void updateButton();

    std::unique_ptr<Ui::BackupListDialogClass> m_ui;
    QPushButton* m_restore = nullptr;
};

} // namespace ZORVI
