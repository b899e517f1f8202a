#include "directory/AttrValue.h"

namespace directory {

AttrValue AttrValue::fromStrings(const QStringList& texts)
{
    QList<QByteArray> values;
    values.reserve(texts.size());
    for (const QString& text : texts)
        values.append(text.toUtf8());
    return AttrValue(std::move(values));
}

QString AttrValue::text(const char* data, qsizetype size)
{
    return QString::fromUtf8(data, size).replace(QChar(u'\0'), QChar::ReplacementCharacter);
}

AttrValue::Form AttrValue::form() const
{
    if (values_.isEmpty())
        return Form::Empty;
    return values_.size() == 1 ? Form::Single : Form::Array;
}

QString AttrValue::toString() const
{
    return toStringList().join(QStringLiteral("; "));
}

QStringList AttrValue::toStringList() const
{
    QStringList texts;
    texts.reserve(values_.size());
    for (const QByteArray& value : values_)
        texts.append(text(value));
    return texts;
}

} // namespace directory
