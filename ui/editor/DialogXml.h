#pragma once

// A read-only text window (meant for a flash file's XML) with a search: every match of the search
// text is highlighted, the first selected, and F3 or "Next (F3)" steps through them, wrapping
// after the last. Whoever creates it shows it, feeds it with setText and may listen to closed().
// GUI thread only.

#include <QDialog>
#include <QList>
#include <QMutableListIterator>
#include <QTextEdit>

#include <memory>

namespace Ui {
class DialogXml;
}

class DialogXml : public QDialog
{
    Q_OBJECT

public:
    explicit DialogXml(QWidget* parent = nullptr);
    ~DialogXml() override;

signals:
    void closed();

public slots:
    // Shows `text` (plain or rich, as the view decides) and searches it again.
    void setText(QString text);

protected:
    // F3 steps to the next match; every other key stops here, so Escape does not close the window.
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void findText();
    void on_lineEdit_textChanged(const QString& text);
    void on_lineEdit_returnPressed();
    void on_pushButton_find_clicked(bool checked);

private:
    void findNext();

    std::unique_ptr<Ui::DialogXml> ui;
    QList<QTextEdit::ExtraSelection> m_highlights;
    // The next match to jump to; it cycles through m_highlights, which every search rebuilds.
    QMutableListIterator<QTextEdit::ExtraSelection> m_nextHighlight;
    QTextEdit* m_view;
};
