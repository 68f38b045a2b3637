#pragma once

// The about box: the product's title, its version and build data, the versions of Qt and of the
// two firmware downloaders, whom to ask for help, and links to the licence documents shipped
// beside the executable. Fixed size, no title bar; Escape or Close ends it.

#include <QDialog>

#include <memory>

namespace Ui {
class AboutDialog;
}

class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void onLinkActivated(const QString& link);

private:
    void fillTexts();

    std::unique_ptr<Ui::AboutDialog> ui;
};
