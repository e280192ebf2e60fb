#pragma once

#include "DeviceInfo.h"
#include "SettingsPlan.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QTableWidgetItem;

namespace Ui {
class SettingsPreviewClass;
}

namespace ZORVI {

// What a settings file (or the factory settings) would change on the
// device, shown before anything is written: one table of the settings that
// change, named as the window names them, with the rows the rules correct
// marked and explained, and what the user should know about where the file
// came from. A plan that is refused lists why and offers no Apply; a
// comparison only looks and offers Close.
class SettingsPreview : public QDialog {
    Q_OBJECT

public:
    // Restore: the backup made before a firmware update, offered after it.
    enum class Purpose { Load, Reset, Compare, Restore };

    // How the window names a setting and one of its values ("2 (65 Hz)").
    struct Wording {
        std::function<QString(uint16_t id)> caption;
        std::function<QString(uint16_t id, int value)> value;
    };

    // `source` is the file's name (empty for a reset); `device` the
    // connected device, for the notes on the file's origin.
    SettingsPreview(const SettingsPlan& plan, Purpose purpose, const QString& source,
                    const DeviceInfo& device, Wording wording, QWidget* parent = nullptr);
    ~SettingsPreview() override;

    // True when the dialog offers Apply: exec() then returns Accepted only
    // when the user pressed it.
    bool offersApply() const;

private:
    void showSummary();
    void showRows();
    void showRow(int index, const SettingsPlan::Row& row);
    void markCorrected(QTableWidgetItem* newValue, const SettingsPlan::Row& row) const;
    void showOutsideLimits();
    QString allowedText(const Rules::Verdict& verdict) const;
    void showRulesRefusal();
    void showCorrections();
    void showNotes();
    QString noteText(SettingsPlan::Note note) const;
    void showButtons();
    void fitTable();

    std::unique_ptr<Ui::SettingsPreviewClass> m_ui;
    const SettingsPlan m_plan;
    const Purpose m_purpose;
    const QString m_source;
    const DeviceInfo m_device;
    const Wording m_wording;
};

} // namespace ZORVI
