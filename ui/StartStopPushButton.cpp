#include "ui/StartStopPushButton.h"

StartStopPushButton::StartStopPushButton(QWidget* parent)
    : QPushButton(parent)
{
    connect(this, &QPushButton::clicked, this, &StartStopPushButton::do_emitForState);
}

void StartStopPushButton::init(const QString& stopText, const QString& startText)
{
    m_stopText = stopText;
    m_startText = startText.isEmpty() ? text() : startText;
}

bool StartStopPushButton::isStarted() const
{
    return m_started;
}

void StartStopPushButton::setStarted(bool started)
{
    m_started = started;
    setText(started ? m_stopText : m_startText);
}

void StartStopPushButton::flipStatus()
{
    setStarted(!m_started);
}

void StartStopPushButton::do_emitForState()
{
    if (m_started)
        emit stopClicked();
    else
        emit startClicked();
}
