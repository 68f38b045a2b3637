#pragma once

// A line edit with a flat clear button at its right end, shown while there is text. GUI thread.

#include <QLineEdit>

class QPushButton;

class ClearLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit ClearLineEdit(QWidget* parent = nullptr);

    QPushButton* clearButton() const { return m_clearButton; }

private slots:
    void setClearButtonVisible();

private:
    QPushButton* m_clearButton;   // child of the line edit
};
