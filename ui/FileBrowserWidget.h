#pragma once

// A line edit with a browse button that opens the open-file or save-file dialog: the file fields
// of the forms and the file options of the parameter editor. The folder the dialog opens in may be
// shared among several widgets through a handle that their creator keeps.

#include <QString>
#include <QWidget>

class QLineEdit;
class QToolButton;

class FileBrowserWidget : public QWidget
{
    Q_OBJECT

public:
    enum WindowType { Open = 0, Save = 1 };

    explicit FileBrowserWidget(QWidget* parent = nullptr);

    // Also resets the dialog title ("Save file" or "Open file"): a caller's own title comes after.
    void setWindowType(WindowType type);
    WindowType getWindowType() const;
    void setFileFilters(const QString& filters);
    void setDialogTitle(const QString& title);
    void setButtonText(const QString& text);
    // The folder the dialog opens in when the path is empty, updated with each picked file's
    // folder; not owned, null for none. Its owner keeps it alive as long as the widget.
    void setDefaultFolderHandle(QString* folder);
    // The path as shown.
    QString getFile() const;

signals:
    // Every change of the text: typed, set or picked.
    void fileSelected(const QString& path);

public slots:
    // Shows `path` with the platform's separators.
    void setFile(const QString& path);

protected:
    void focusInEvent(QFocusEvent* event) override;

private slots:
    void onBrowse();

private:
    QLineEdit* m_lineEdit;
    QToolButton* m_browseButton;
    QString m_fileFilters;
    QString m_dialogTitle;
    QString* m_defaultFolder = nullptr;
    WindowType m_windowType = Open;
};
