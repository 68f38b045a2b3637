#include "ui/ClearLineEdit.h"

#include <QHBoxLayout>
#include <QPushButton>

ClearLineEdit::ClearLineEdit(QWidget* parent)
    : QLineEdit(parent)
    , m_clearButton(new QPushButton(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->addStretch();
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(m_clearButton);
    connect(m_clearButton, &QPushButton::clicked, this, &QLineEdit::clear);
    m_clearButton->setFlat(true);
    m_clearButton->setCursor(Qt::ArrowCursor);
    m_clearButton->setIcon(QIcon(QStringLiteral(":/icons/icons/round-cross.png")));
    // The text never runs under the button.
    setTextMargins(1, 1, height(), 1);
    connect(this, &QLineEdit::textChanged, this, &ClearLineEdit::setClearButtonVisible);
    m_clearButton->hide();
}

void ClearLineEdit::setClearButtonVisible()
{
    m_clearButton->setVisible(!text().isEmpty());
    setFocus(Qt::OtherFocusReason);
}
