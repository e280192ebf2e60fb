#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QComboBox;

namespace ZORVI {

// Tells when the user has settled on an entry of a list whose choice costs
// something, such as the interface port list, where each choice opens the
// port and queries it (seconds of a frozen window on a port without an
// adapter). Stepping through the closed list with the keys or the wheel
// passes over entries: the step counts once the steps pause, and then only
// if it ended on another entry than the one shown before the first step;
// Enter takes a pending step at once. A choice from the open list or by the
// program counts at once.
class SettledChoice : public QObject {
    Q_OBJECT

public:
    static constexpr int SETTLE_DELAY_MS = 700;

    // The list owns the watcher.
    explicit SettledChoice(QComboBox* list, int settleDelayMs = SETTLE_DELAY_MS);

    // While the program rebuilds the list its changes are nobody's choice;
    // a pending step stays pending (its entry may still be there).
    void pause() { m_paused = true; }
    void resume() { m_paused = false; }

    bool isStepPending() const { return m_settleTimer.isActive(); }
    // Something else chose meanwhile (the Connect button): the steps are
    // over and must not choose a second time.
    void cancelPendingStep() { m_settleTimer.stop(); }

signals:
    void chosen();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onIndexChanged();
    void onSettled();
    void takePendingStep();

    QComboBox* m_list;
    QTimer m_settleTimer;
    // Marks a key press or wheel turn the closed list is handling: an index
    // change during it is a step.
    QTimer m_stepInputEnd;
    bool m_stepInput = false;
    bool m_paused = false;
    QString m_shownText;
    QString m_textBeforeSteps;
};

} // namespace ZORVI
