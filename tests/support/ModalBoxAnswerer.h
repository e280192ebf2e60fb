#pragma once

// Answers the modal message boxes a window opens while a test drives it:
// offscreen nobody else would close them, and the test would hang in the
// box's event loop. A short repeating timer finds the active modal widget,
// notes what the box said (and the window's status bar and visibility, and
// whatever else the test wants to know, at that moment) and presses the
// planned button. Other modal widgets (a file dialog) go to a handler of the
// test's own.

#include <QAbstractButton>
#include <QApplication>
#include <QList>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <functional>

struct SeenBox {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString text;
    QString informativeText;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QString statusMessage;
    bool windowVisible = false;
    // What the test's probe said while the box showed (see noteWhileShown).
    QString stateWhileShown;
};

class ModalBoxAnswerer : public QObject {
public:
    static constexpr int POLL_MS = 20;

    explicit ModalBoxAnswerer(QMainWindow* window = nullptr)
        : m_window(window)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start(POLL_MS);
    }

    // The buttons to press, one per box, in order. Once they are used up,
    // a box with a button of the text given to answerWith gets that button,
    // the others Ok (or No when they have no Ok).
    void plan(const QList<QMessageBox::StandardButton>& answers) { m_answers = answers; }
    // Boxes with a button of this text are answered with it (for example
    // "Correct Now").
    void answerWith(const QString& buttonText) { m_buttonText = buttonText; }
    // Called with any other modal widget; returns true when it dealt with it.
    void setOtherHandler(std::function<bool(QWidget*)> handler) { m_other = std::move(handler); }
    // Boxes stay open until this holds (a user reads a box before closing it).
    void answerWhen(std::function<bool()> ready) { m_ready = std::move(ready); }
    // Runs with each box just before it is answered: what the user does
    // while the box is up (changes the file on disk, looks at the window).
    void whileShown(std::function<void(const SeenBox&)> action)
    {
        m_whileShown = std::move(action);
    }
    // What to note of the window or the device while each box shows.
    void noteWhileShown(std::function<QString()> probe) { m_probe = std::move(probe); }

    const QList<SeenBox>& seen() const { return m_seen; }
    int count() const { return m_seen.size(); }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            // A box being closed stays active for a moment: once is enough.
            if (box != m_lastAnswered && (!m_ready || m_ready()))
                answer(box);
            return;
        }
        if (m_other)
            m_other(modal);
    }

    SeenBox note(QMessageBox* box) const
    {
        SeenBox seen;
        seen.icon = box->icon();
        seen.text = box->text();
        seen.informativeText = box->informativeText();
        seen.buttons = box->standardButtons();
        seen.defaultButton = box->standardButton(box->defaultButton());
        if (m_window) {
            seen.statusMessage = m_window->statusBar()->currentMessage();
            seen.windowVisible = m_window->isVisible();
        }
        if (m_probe)
            seen.stateWhileShown = m_probe();
        return seen;
    }

    QAbstractButton* buttonWithText(QMessageBox* box) const
    {
        for (QAbstractButton* button : box->buttons()) {
            if (!m_buttonText.isEmpty() && button->text() == m_buttonText)
                return button;
        }
        return nullptr;
    }

    QAbstractButton* choice(QMessageBox* box)
    {
        if (!m_answers.isEmpty())
            return box->button(m_answers.takeFirst());
        if (QAbstractButton* named = buttonWithText(box))
            return named;
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        return ok ? ok : box->button(QMessageBox::No);
    }

    void answer(QMessageBox* box)
    {
        const SeenBox seen = note(box);
        m_seen.append(seen);
        if (m_whileShown)
            m_whileShown(seen);
        m_lastAnswered = box;
        if (QAbstractButton* button = choice(box))
            button->click();
        else
            box->reject();
    }

    QPointer<QMainWindow> m_window;
    QTimer m_timer;
    QList<QMessageBox::StandardButton> m_answers;
    QString m_buttonText;
    std::function<bool(QWidget*)> m_other;
    std::function<bool()> m_ready;
    std::function<void(const SeenBox&)> m_whileShown;
    std::function<QString()> m_probe;
    QList<SeenBox> m_seen;
    QPointer<QMessageBox> m_lastAnswered;
};
