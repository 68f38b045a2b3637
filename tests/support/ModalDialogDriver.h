#pragma once

// Answers the modal dialogs and message boxes that a blocking call opens: the test queues one step
// per dialog before the call; a timer hands each step the next modal widget that shows
// (QApplication::activeModalWidget) and the step presses a button, fills a field or reads a text.
// Steps left unanswered, or failing, are reported through failures(); so are dialogs that show
// once the steps are used up, when the driver is told to close them.

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

class ModalDialogDriver : public QObject
{
public:
    // A step gets the modal widget and returns false when it could not do its part.
    using Step = std::function<bool(QWidget* modal)>;

    explicit ModalDialogDriver(int timeoutMs = 10000)
        : m_timeoutMs(timeoutMs)
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
    }

    // Queues a step for the next modal widget that shows.
    void answer(Step step)
    {
        if (m_steps.empty())
            m_waiting.start();  // the wait for this step starts now
        m_steps.push_back(std::move(step));
        if (!m_timer.isActive())
            m_timer.start();
    }

    // From now on, a modal widget that shows when no step is left is closed (rejected) and
    // reported: a call that asks more than the test expects ends instead of waiting forever.
    void closeUnexpected()
    {
        m_closeUnexpected = true;
        if (!m_timer.isActive())
            m_timer.start();
    }

    // Steps queued but never run (no modal widget showed in time), steps that failed, and
    // modal widgets closed because no step was left for them.
    QStringList failures() const
    {
        QStringList all = m_failures;
        if (!m_steps.empty())
            all << QStringLiteral("%1 dialog(s) never showed").arg(m_steps.size());
        return all;
    }
    bool allAnswered() const { return failures().isEmpty(); }
    // Texts read by the steps made with readBoxText, in order.
    const QStringList& texts() const { return m_texts; }

    // Steps.
    static Step pressButton(const QString& text)
    {
        return [text](QWidget* modal) { return clickButton(modal, text); };
    }
    static Step pressButton(QDialogButtonBox::StandardButton which)
    {
        return [which](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                if (QAbstractButton* button = box->button(QMessageBox::StandardButton(int(which)))) {
                    button->click();
                    return true;
                }
            }
            for (auto* buttons : modal->findChildren<QDialogButtonBox*>()) {
                if (QAbstractButton* button = buttons->button(which)) {
                    button->click();
                    return true;
                }
            }
            return false;
        };
    }
    static Step fillField(const QString& objectName, const QString& text, Step then = Step())
    {
        return [objectName, text, then](QWidget* modal) {
            auto* field = modal->findChild<QLineEdit*>(objectName);
            if (!field)
                return false;
            field->setText(text);
            return !then || then(modal);
        };
    }
    // Sets the line edits that `texts` names by object name, then runs `then`.
    static Step fillFields(const QMap<QString, QString>& texts, Step then = Step())
    {
        Step step = std::move(then);
        for (auto text = texts.begin(); text != texts.end(); ++text)
            step = fillField(text.key(), text.value(), step);
        return step;
    }
    // Picks `path` in a file dialog (an empty path cancels it).
    static Step pickFile(const QString& path)
    {
        return [path](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog)
                return false;
            if (path.isEmpty()) {
                dialog->reject();
                return true;
            }
            // selectFile() leaves the name field alone while it has the focus, and selects in the
            // list only once the folder has been read: under load the dialog would accept nothing.
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!name)
                return false;
            name->setText(path);
            static_cast<QDialog*>(dialog)->accept();
            return true;
        };
    }
    // Reads the box's text into texts(), then runs `then`.
    Step readBoxText(Step then)
    {
        return [this, then](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            m_texts << (box ? box->text() : QString());
            return box && then(modal);
        };
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // A dialog shown again (run once more by its owner) is a new dialog to answer, even when
        // it came back before the next poll.
        if (event->type() == QEvent::Hide && watched == m_lastModal)
            m_lastModal = nullptr;
        return false;
    }

private:
    static bool clickButton(QWidget* modal, const QString& text)
    {
        for (auto* button : modal->findChildren<QAbstractButton*>()) {
            if (button->isVisible() && button->text().remove(QLatin1Char('&')) == text) {
                button->click();
                return true;
            }
        }
        return false;
    }

    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            m_lastModal = nullptr;  // the dialog answered last is gone: it may show again
        if (m_steps.empty()) {
            if (!m_closeUnexpected)
                m_timer.stop();
            else if (modal && modal->isVisible() && modal != m_lastModal)
                closeUnexpectedModal(modal);
            return;
        }
        if (!modal || !modal->isVisible() || modal == m_lastModal) {
            if (m_waiting.elapsed() > m_timeoutMs) {
                m_timer.stop();
                // A dialog left open would hold the test until its own time-out: the test fails
                // on failures() instead.
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
            }
            return;
        }
        m_lastModal = modal;
        modal->installEventFilter(this);
        const Step step = m_steps.front();
        m_steps.pop_front();
        if (!step(modal))
            m_failures << QStringLiteral("a step failed on %1").arg(QString::fromLatin1(modal->metaObject()->className()));
        m_waiting.restart();
    }

    void closeUnexpectedModal(QWidget* modal)
    {
        m_failures << QStringLiteral("an unexpected %1 showed").arg(QString::fromLatin1(modal->metaObject()->className()));
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            m_texts << box->text();
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }

    int m_timeoutMs;
    bool m_closeUnexpected = false;
    QTimer m_timer;
    QElapsedTimer m_waiting;
    std::deque<Step> m_steps;
    QPointer<QWidget> m_lastModal;
    QStringList m_failures;
    QStringList m_texts;
};
