#pragma once

#include <QObject>

class QKeyEvent;
class QTabWidget;

namespace ZORVI {

// Ctrl+Tab and Ctrl+PageDown turn to the next page of the tab widget,
// Ctrl+Shift+Tab and Ctrl+PageUp to the previous one, wrapping around at
// the ends, from anywhere in its window. The keys are taken before the
// focused widget sees them: a list or a spin box would otherwise step its
// value on Ctrl+PageDown (and the device would store it), and a list would
// swallow Ctrl+Tab.
class TabSwitchKeys : public QObject {
    Q_OBJECT

public:
    // Watches the keys of the tab widget's window; the tab widget owns it.
    explicit TabSwitchKeys(QTabWidget* tabs);
    ~TabSwitchKeys() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // +1 for the next page, -1 for the previous one, 0 for any other key.
    static int pageStepOf(const QKeyEvent& key);
    bool isInTabsWindow(QObject* object) const;
    void turnPage(int step);

    QTabWidget* m_tabs;
};

} // namespace ZORVI
