#include "ui/editor/DialogXml.h"

#include "ui_DialogXml.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTextCursor>

DialogXml::DialogXml(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::DialogXml>())
    , m_nextHighlight(m_highlights)
{
    ui->setupUi(this);
    m_view = ui->textEditFlashFile;
    // After the form's by-name connection: Return first hands the focus to the text, then searches.
    connect(ui->lineEdit, &QLineEdit::returnPressed, this, &DialogXml::findText);
    setWindowFlags(windowFlags() | Qt::Window);
    resize(640, 480);
    setWindowTitle(QCoreApplication::applicationName());
}

DialogXml::~DialogXml() = default;

void DialogXml::setText(QString text)
{
    m_highlights.clear();
    m_nextHighlight.toFront();
    m_view->setText(text);
    m_view->repaint();
    findText();
}

void DialogXml::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F3) {
        m_view->setFocus(Qt::OtherFocusReason);
        findNext();
    }
    event->accept();
}

void DialogXml::closeEvent(QCloseEvent* event)
{
    emit closed();
    QDialog::closeEvent(event);
}

void DialogXml::findText()
{
    m_highlights.clear();
    m_view->moveCursor(QTextCursor::Start);
    const QString searched = ui->lineEdit->text();
    // QTextEdit::find with no flags: case-insensitive, inside words too. It selects each match.
    while (!searched.isEmpty() && m_view->find(searched)) {
        QTextEdit::ExtraSelection highlight;
        highlight.cursor = m_view->textCursor();
        highlight.format.setBackground(QBrush(Qt::yellow));
        m_highlights.append(highlight);
    }
    m_nextHighlight.toFront();
    if (m_highlights.isEmpty()) {
        m_view->setExtraSelections(m_highlights);
        return;
    }
    findNext();
    m_view->setExtraSelections(m_highlights);
}

void DialogXml::findNext()
{
    if (!m_nextHighlight.hasNext())
        m_nextHighlight.toFront();
    if (!m_nextHighlight.hasNext())
        return;
    const QTextCursor match = m_nextHighlight.next().cursor;
    // Moving two lines down and up from the match scrolls them into view; the match ends selected.
    m_view->setTextCursor(match);
    m_view->moveCursor(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    m_view->moveCursor(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    m_view->setTextCursor(match);
    m_view->moveCursor(QTextCursor::PreviousBlock, QTextCursor::KeepAnchor);
    m_view->moveCursor(QTextCursor::PreviousBlock, QTextCursor::KeepAnchor);
    m_view->setTextCursor(match);
}

void DialogXml::on_lineEdit_textChanged(const QString&)
{
    findText();
}

void DialogXml::on_lineEdit_returnPressed()
{
    m_view->setFocus(Qt::OtherFocusReason);
}

void DialogXml::on_pushButton_find_clicked(bool)
{
    m_view->setFocus(Qt::OtherFocusReason);
    findNext();
}
