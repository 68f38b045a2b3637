#pragma once

// A button with two states: stopped, where a click asks to start, and started, where a click asks
// to stop. A click only emits; the owner sets the state as its work starts and ends.

#include <QPushButton>
#include <QString>

class StartStopPushButton : public QPushButton
{
    Q_OBJECT

public:
    explicit StartStopPushButton(QWidget* parent = nullptr);

    // The texts of the two states; an empty start text keeps the label the button has now (the
    // form's). Changes neither the state nor the shown text.
    void init(const QString& stopText, const QString& startText = QString());
    bool isStarted() const;

signals:
    void startClicked();
    void stopClicked();

public slots:
    void setStarted(bool started);
    void flipStatus();

private slots:
    void do_emitForState();

private:
    bool m_started = false;
    QString m_stopText;
    QString m_startText;
};
