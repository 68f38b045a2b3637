#include "model/ParameterReferences.h"

namespace {

// One reference found in a text: where it stands and what it names.
struct Reference
{
    int start = 0;
    int length = 0;
    QString name;
    QString option; // null when the reference names none
};

// The end of a name or an option that starts at `from`: the next '}' or ',', or the text's end.
int wordEnd(const QString& text, int from)
{
    while (from < text.size() && text.at(from) != QLatin1Char('}') && text.at(from) != QLatin1Char(','))
        ++from;
    return from;
}

// The first reference of `text` at or after `from`. A reference is "${", a name, optionally ","
// and an option, then "}"; a name or an option is one character or more, any but '}' and ','
// (blanks, line feeds, '$' and '{' included). Scanned by hand: a regular expression match costs
// more than the loading of a command with it.
bool findReference(const QString& text, int from, Reference& reference)
{
    const QLatin1String opening("${");
    for (int start = text.indexOf(opening, from); start != -1; start = text.indexOf(opening, start + 1)) {
        const int nameStart = start + opening.size();
        const int nameEnd = wordEnd(text, nameStart);
        if (nameEnd == text.size())
            return false; // neither '}' nor ',' follows: no later start can close either
        if (nameEnd == nameStart)
            continue;
        int end = nameEnd;
        QString option;
        if (text.at(nameEnd) == QLatin1Char(',')) {
            const int optionStart = nameEnd + 1;
            end = wordEnd(text, optionStart);
            if (end == text.size())
                return false;
            if (end == optionStart || text.at(end) != QLatin1Char('}'))
                continue;
            option = text.mid(optionStart, end - optionStart);
        }
        reference.start = start;
        reference.length = end + 1 - start;
        reference.name = text.mid(nameStart, nameEnd - nameStart);
        reference.option = option;
        return true;
    }
    return false;
}

} // namespace

bool hasParameterReference(const QString& text)
{
    Reference reference;
    return findReference(text, 0, reference);
}

void forEachParameterReference(const QString& text, const ParameterReferenceVisitor& visit)
{
    Reference reference;
    for (int position = 0; findReference(text, position, reference);
         position = reference.start + reference.length)
        visit(reference.name, reference.option);
}

QString substituteParameterReferences(const QString& text, const ParameterReferenceResolver& resolve)
{
    QString result = text;
    Reference reference;
    for (int position = 0; findReference(result, position, reference);) {
        const std::optional<QString> value = resolve(reference.name, reference.option);
        if (value)
            result.replace(reference.start, reference.length, *value);
        position = reference.start + (value ? value->length() : reference.length);
    }
    return result;
}
