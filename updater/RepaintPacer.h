#pragma once

#include <QElapsedTimer>
#include <QObject>

class QWidget;

// Holds a window's repaints back to one each INTERVAL_MS while a loop that
// runs on the window's thread (the firmware transfer) lets it handle events
// between its steps.
//
// On X11 each repaint waits for a round trip to the display server before it
// draws (the shared-memory backing store syncs so as not to draw into pixels
// the server may still be reading), and QProgressBar::setValue repaints at
// once, not later. A round trip to a busy server takes tens of milliseconds,
// each one holding back the next record. While pacing, the window's update
// requests (QEvent::UpdateRequest, which every repaint() and update() ends
// in) pass only when the interval has run out; the widgets keep their
// values, and what was held back is drawn with the next one that passes.
class RepaintPacer : public QObject {
public:
    static constexpr int INTERVAL_MS = 100;

    explicit RepaintPacer(QWidget* window);

    void begin();
    // From here on until end() every repaint passes: the last step is shown.
    void showEverything();
    // Between two steps: asks for what was held back once it may be drawn.
    void catchUp();
    // Stops pacing; what was held back is drawn by the event loop.
    void end();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool due() const;
    void requestRepaint();

    QWidget* m_window;
    QElapsedTimer m_sinceRepaint;
    bool m_pacing = false;
    bool m_showEverything = false;
    bool m_held = false;
};
