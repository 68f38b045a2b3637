#include "ui/editor/FormFieldReader.h"

#include "platform/json/JsonObject.h"
#include "ui/FileBrowserWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTextEdit>
#include <QVariantMap>

#include <limits>
#include <map>

namespace {

const QString kLabelType = QStringLiteral("label");
const QString kHiddenType = QStringLiteral("hidden");
const QString kValue = QStringLiteral("value");

// The keys every field has.
struct CommonKeys
{
    QString type;
    QString id;
    QString tooltip;
    QString label;
    bool required = true;
};

// An optional key may be absent, never of another kind; a required one must be there.
bool isAcceptable(JsonObject::ConvertResult result)
{
    return result != JsonObject::WrongType;
}

bool isFound(JsonObject::ConvertResult result)
{
    return result == JsonObject::Found;
}

using Widget = std::unique_ptr<QWidget>;

// The check state named by "value". Command kinds give it as a JSON boolean, hand-written
// descriptions as a word.
bool readCheckState(const JsonObject& description, bool tristate, Qt::CheckState& state)
{
    QVariant value;
    if (!isFound(description.getValue(kValue, value)))
        return false;
    const QString word = value.userType() == QMetaType::Bool
        ? QString::fromLatin1(value.toBool() ? "true" : "false")
        : value.userType() == QMetaType::QString ? value.toString() : QString();
    if (word == QLatin1String("true") || word == QLatin1String("checked"))
        state = Qt::Checked;
    else if (word == QLatin1String("false") || word == QLatin1String("unchecked"))
        state = Qt::Unchecked;
    else if (tristate && (isFound(description.hasNullValue(kValue)) || word == QLatin1String("greyed")))
        state = Qt::PartiallyChecked;
    else
        return false;
    return true;
}

Widget makeCheckBox(const JsonObject& description, const CommonKeys&, QString*)
{
    bool tristate = false;
    Qt::CheckState state = Qt::Unchecked;
    if (!isAcceptable(description.getBoolean(QStringLiteral("tristate"), tristate))
        || !readCheckState(description, tristate, state))
        return nullptr;
    auto box = std::make_unique<QCheckBox>();
    box->setTristate(tristate);
    box->setCheckState(state);
    return box;
}

// Fills the entries from "allowedValues": an object lists its members in ascending order of their
// names, each shown as its value; an array lists its texts as written.
bool addAllowedValues(const JsonObject& description, QComboBox& box)
{
    const QString key = QStringLiteral("allowedValues");
    QStringList texts;
    QVariantMap members;
    if (isFound(description.getStringList(key, texts))) {
        for (const QString& text : qAsConst(texts))
            box.addItem(text, text);
    } else if (isFound(description.getMap(key, members))) {
        // QVariantMap keeps its keys in QString order: ordinal, by UTF-16 code unit.
        for (auto member = members.constBegin(); member != members.constEnd(); ++member)
            box.addItem(member->toString(), member.key());
    } else {
        return false;
    }
    return true;
}

Widget makeComboBox(const JsonObject& description, const CommonKeys& keys, QString*)
{
    QString value;
    if (!isFound(description.getString(kValue, value)))
        return nullptr;
    auto box = std::make_unique<QComboBox>();
    const int firstChoice = keys.required ? 0 : 1;
    if (!keys.required)
        box->addItem(QString());  // the blank entry: no stored value, answered as null
    if (!addAllowedValues(description, *box))
        return nullptr;
    int selected = -1;  // the last entry that stores the value
    for (int entry = box->count() - 1; entry >= firstChoice && selected < 0; --entry) {
        if (box->itemData(entry).toString() == value)
            selected = entry;
    }
    if (selected < 0 && !keys.required && value.isEmpty())
        selected = 0;
    if (selected < 0)
        return nullptr;
    box->setCurrentIndex(selected);
    return box;
}

Widget makeLineEdit(const JsonObject& description, const CommonKeys&, QString*)
{
    QString value;
    QString mask;
    if (!isFound(description.getString(kValue, value))
        || !isAcceptable(description.getString(QStringLiteral("input_mask"), mask)))
        return nullptr;
    auto edit = std::make_unique<QLineEdit>();
    edit->setText(value);
    edit->setInputMask(mask);
    return edit;
}

Widget makeTextEdit(const JsonObject& description, const CommonKeys&, QString*)
{
    QString value;
    if (!isFound(description.getString(kValue, value)))
        return nullptr;
    auto edit = std::make_unique<QTextEdit>();
    edit->setPlainText(value);
    return edit;
}

Widget makeFileChooser(const JsonObject& description, const CommonKeys& keys, QString* defaultFolder)
{
    static const std::map<QString, FileBrowserWidget::WindowType> kModes = {
        {QStringLiteral("open"), FileBrowserWidget::Open},
        {QStringLiteral("save"), FileBrowserWidget::Save},
    };
    FileBrowserWidget::WindowType mode = FileBrowserWidget::Open;
    QString value;
    QString extensions;
    if (!isAcceptable(description.getEnum(QStringLiteral("mode"), kModes, mode))
        || !isFound(description.getString(kValue, value))
        || !isAcceptable(description.getString(QStringLiteral("extensions"), extensions)))
        return nullptr;
    auto chooser = std::make_unique<FileBrowserWidget>();
    chooser->setWindowType(mode);
    const QString title = mode == FileBrowserWidget::Save ? QStringLiteral("Save %1 file")
                                                          : QStringLiteral("Open %1 file");
    chooser->setDialogTitle(title.arg(keys.label));
    chooser->setFile(value);
    // "*.*" would hide the extension-less images.
    chooser->setFileFilters(extensions + QStringLiteral(";;All file(*)"));
    chooser->setDefaultFolderHandle(defaultFolder);
    return chooser;
}

Widget makeSpinBox(const JsonObject& description, const CommonKeys&, QString*)
{
    int value = 0;
    int minimum = 0;
    int maximum = std::numeric_limits<int>::max();
    int step = 1;
    QString suffix;
    QString prefix;
    QString specialValue;
    if (!isFound(description.getInt32(kValue, value))
        || !isAcceptable(description.getInt32(QStringLiteral("min"), minimum))
        || !isAcceptable(description.getInt32(QStringLiteral("max"), maximum))
        || !isAcceptable(description.getInt32(QStringLiteral("step"), step))
        || !isAcceptable(description.getString(QStringLiteral("suffix"), suffix))
        || !isAcceptable(description.getString(QStringLiteral("prefix"), prefix))
        || !isAcceptable(description.getString(QStringLiteral("specialValue"), specialValue)))
        return nullptr;
    auto box = std::make_unique<QSpinBox>();
    box->setRange(minimum, maximum);  // first, so that the value is clamped into it
    box->setValue(value);
    box->setSuffix(suffix);
    box->setPrefix(prefix);
    box->setSpecialValueText(specialValue);
    box->setSingleStep(step);
    return box;
}

Widget makeHidden(const JsonObject& description, const CommonKeys& keys, QString* defaultFolder)
{
    Widget edit = makeTextEdit(description, keys, defaultFolder);
    if (edit)
        edit->hide();
    return edit;
}

using Maker = Widget (*)(const JsonObject& description, const CommonKeys& keys, QString* defaultFolder);

// The types that make a widget ("label" makes none).
const std::map<QString, Maker>& makers()
{
    static const std::map<QString, Maker> kMakers = {
        {QStringLiteral("checkbox"), &makeCheckBox}, {QStringLiteral("combobox"), &makeComboBox},
        {QStringLiteral("text"), &makeLineEdit},     {QStringLiteral("textarea"), &makeTextEdit},
        {QStringLiteral("file"), &makeFileChooser},  {QStringLiteral("spinbox"), &makeSpinBox},
        {kHiddenType, &makeHidden},
    };
    return kMakers;
}

// Read in this order, the first fault refusing the field.
bool readCommonKeys(const JsonObject& description, CommonKeys& keys)
{
    if (!isFound(description.getString(QStringLiteral("type"), keys.type))
        || (keys.type != kLabelType && makers().count(keys.type) == 0))
        return false;
    if (!isFound(description.getString(QStringLiteral("id"), keys.id)) && keys.type != kLabelType)
        return false;
    if (!isAcceptable(description.getString(QStringLiteral("tooltip"), keys.tooltip)))
        return false;
    // A hidden field needs no label, but an empty one is refused all the same.
    const JsonObject::ConvertResult label = description.getString(kLabelType, keys.label);
    const bool labelRequired = keys.type != kHiddenType;
    if ((isFound(label) || labelRequired) && keys.label.isEmpty())
        return false;
    return isAcceptable(description.getBoolean(QStringLiteral("required"), keys.required));
}

} // namespace

FormFieldReader::FormFieldReader(QString* defaultFolder)
    : m_defaultFolder(defaultFolder)
{
}

bool FormFieldReader::read(const JsonObject& description, FormField& field) const
{
    CommonKeys keys;
    if (!readCommonKeys(description, keys))
        return false;
    if (keys.type == kLabelType) {
        field.rowLabel = keys.label;
        return true;
    }
    Widget widget = makers().at(keys.type)(description, keys, m_defaultFolder);
    if (!widget)
        return false;
    widget->setObjectName(keys.id);
    field.isHidden = keys.type == kHiddenType;
    if (!field.isHidden) {
        field.rowLabel = keys.label
                         + (keys.required ? QStringLiteral("<span style=\"color:red\">*</span>") : QString())
                         + QLatin1Char(':');
        if (!keys.tooltip.trimmed().isEmpty())
            widget->setToolTip(keys.tooltip);
        widget->setProperty("required", keys.required);
    }
    field.widget = std::move(widget);
    return true;
}
