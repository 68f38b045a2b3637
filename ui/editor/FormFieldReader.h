#pragma once

// Reads one field object of a form description (the keys every field has, then those of its
// type) and makes its widget, without parent, for the form to take. GUI thread.

#include <QString>
#include <QWidget>

#include <memory>

class JsonObject;

// One field read: a row (label and widget), a text line across the form (label, no widget), or a
// hidden widget that carries a value only.
struct FormField
{
    QString rowLabel;
    std::unique_ptr<QWidget> widget;
    bool isHidden = false;
};

class FormFieldReader
{
public:
    // The file fields share `defaultFolder` (may be null; the caller owns it).
    explicit FormFieldReader(QString* defaultFolder);

    // False when the field is refused; `field` is then left empty.
    bool read(const JsonObject& description, FormField& field) const;

private:
    QString* m_defaultFolder;
};
