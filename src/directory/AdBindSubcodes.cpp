#include "directory/AdBindSubcodes.h"

#include <QRegularExpression>

#include <array>
#include <utility>

namespace directory {

QString adBindSubcodeText(const QString& diagnostic)
{
    static const QRegularExpression data(QStringLiteral("\\bdata ([0-9a-fA-F]+)\\b"));
    const QRegularExpressionMatch match = data.match(diagnostic);
    if (!match.hasMatch())
        return {};
    static constexpr std::array<std::pair<QStringView, QStringView>, 9> texts { {
        { u"52e", u"ユーザー名またはパスワードが正しくありません。" },
        { u"525", u"ユーザーが見つかりません。" },
        { u"530", u"この時間帯はログオンできません。" },
        { u"531", u"このコンピューターからはログオンできません。" },
        { u"532", u"パスワードの有効期限が切れています。" },
        { u"533", u"アカウントが無効になっています。" },
        { u"701", u"アカウントの有効期限が切れています。" },
        { u"773", u"パスワードを変更する必要があります。" },
        { u"775", u"アカウントがロックアウトされています。" },
    } };
    const QString code = match.captured(1).toLower();
    for (const auto& [number, text] : texts) {
        if (code == number)
            return text.toString();
    }
    return {};
}

} // namespace directory
