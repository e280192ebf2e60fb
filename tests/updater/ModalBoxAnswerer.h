#pragma once

// Answers the modal message boxes a window opens while a test drives it: a
// short repeating timer finds the active modal widget, notes what the box
// said (and the window's status bar and visibility at that moment) and
// presses the next planned button. Other modal widgets (a file dialog) go to
// a handler of the test's own.

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
    // every box gets Ok (or No when it has no Ok).
    void plan(const QList<QMessageBox::StandardButton>& answers) { m_answers = answers; }
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

    const QList<SeenBox>& seen() const { return m_seen; }
    int count() const { return m_seen.size(); }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (!m_ready || m_ready())
                answer(box);
            return;
        }
        if (m_other)
            m_other(modal);
    }

    void answer(QMessageBox* box)
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
        m_seen.append(seen);
        if (m_whileShown)
            m_whileShown(seen);

        QMessageBox::StandardButton choice = m_answers.isEmpty()
            ? (box->button(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::No)
            : m_answers.takeFirst();
        if (QAbstractButton* button = box->button(choice))
            button->click();
        else
            box->reject();
    }

    QPointer<QMainWindow> m_window;
    QTimer m_timer;
    QList<QMessageBox::StandardButton> m_answers;
    std::function<bool(QWidget*)> m_other;
    std::function<bool()> m_ready;
    std::function<void(const SeenBox&)> m_whileShown;
    QList<SeenBox> m_seen;
};
