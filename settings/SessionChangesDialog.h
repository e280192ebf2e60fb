#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace Ui {
class SessionChangesDialogClass;
}

namespace ZORVI {

// The settings changed since the device was connected, named and valued as
// the settings window shows them, with the way back: "Revert Selected" and
// "Revert All" hand the settings to the window, which stores their values
// at connect as it stores an edit (the same rules, read back) and gives the
// list as the device holds it afterwards. The dialog itself stores nothing.
class SessionChangesDialog : public QDialog {
    Q_OBJECT

public:
    struct Row {
        uint16_t setting = 0; // as SessionChanges names it
        QString caption;
        QString atConnect;
        QString now;
    };
    using Rows = QList<Row>;
    using Revert = std::function<Rows(const QList<uint16_t>& settings)>;

    SessionChangesDialog(const Rows& rows, Revert revert, QWidget* parent = nullptr);
    ~SessionChangesDialog() override;

private:
    void showRows(const Rows& rows);
    void revertSelected();
    void revertAll();
    void revert(const QList<uint16_t>& settings);
    void updateButtons();

    std::unique_ptr<Ui::SessionChangesDialogClass> m_ui;
    Revert m_revert;
    Rows m_rows;
};

} // namespace ZORVI
