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
    // A NUL in a server's text would end it in every C string and file made from it.
    for (const QByteArray& value : values_)
        texts.append(QString::fromUtf8(value).replace(QChar(u'\0'), QChar::ReplacementCharacter));
    return texts;
}

} // namespace directory
