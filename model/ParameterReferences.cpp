#include "model/ParameterReferences.h"

#include <QRegularExpression>

namespace {

// Shared by every thread: a QRegularExpression keeps no match state, unlike QRegExp.
const QRegularExpression& referenceExpression()
{
    static const QRegularExpression expression(
        QStringLiteral("\\$\\{([^\\},]+)(?:,([^\\},]+))?\\}"));
    return expression;
}

QString capturedOption(const QRegularExpressionMatch& match)
{
    return match.capturedStart(2) == -1 ? QString() : match.captured(2);
}

} // namespace

void forEachParameterReference(const QString& text, const ParameterReferenceVisitor& visit)
{
    QRegularExpressionMatchIterator matches = referenceExpression().globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        visit(match.captured(1), capturedOption(match));
    }
}

QString substituteParameterReferences(const QString& text, const ParameterReferenceResolver& resolve)
{
    QString result = text;
    int position = 0;
    QRegularExpressionMatch match;
    while ((match = referenceExpression().match(result, position)).hasMatch()) {
        const std::optional<QString> value = resolve(match.captured(1), capturedOption(match));
        if (value)
            result.replace(match.capturedStart(), match.capturedLength(), *value);
        position = match.capturedStart() + (value ? value->length() : match.capturedLength());
    }
    return result;
}
