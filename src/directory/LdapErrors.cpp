#include "directory/LdapErrors.h"

#include "directory/AdBindSubcodes.h"
#include "directory/HardenedDcAdvice.h"
#include "directory/KerberosAdvice.h"

#include <QStringList>

#include <array>
#include <ldap.h>

namespace directory {

namespace {
struct Mapping {
    int code;
    uint32_t number;
    const char* text;
};

// Win32 ERROR_DS_* codes as HRESULTs, the ones the platform gives for these LDAP results.
const auto mappings = std::to_array<Mapping>({
    { LDAP_OPERATIONS_ERROR, 0x80072020, "ディレクトリ操作でエラーが発生しました。" },
    { LDAP_PROTOCOL_ERROR, 0x80072021, "ディレクトリ サーバーとの通信でプロトコル エラーが発生しました。" },
    { LDAP_TIMELIMIT_EXCEEDED, 0x80072022, "ディレクトリの検索が時間制限を超えました。" },
    { LDAP_SIZELIMIT_EXCEEDED, 0x80072023, "ディレクトリの検索結果がサイズ制限を超えました。" },
    { LDAP_ADMINLIMIT_EXCEEDED, 0x80072024, "ディレクトリの管理上の制限を超えました。" },
    { LDAP_AUTH_METHOD_NOT_SUPPORTED, 0x80072027, "この認証方法はサーバーでサポートされていません。" },
    { LDAP_STRONG_AUTH_REQUIRED, 0x80072028, "サーバーはより強力な認証を要求しています。" },
    { LDAP_INAPPROPRIATE_AUTH, 0x80072029, "認証方法が適切ではありません。" },
    { LDAP_UNAVAILABLE_CRITICAL_EXTENSION, 0x8007202C, "サーバーは要求された重要な拡張機能をサポートしていません。" },
    { LDAP_CONFIDENTIALITY_REQUIRED, 0x8007202D, "この操作には暗号化された接続が必要です。" },
    { LDAP_NO_SUCH_ATTRIBUTE, 0x8007200A, "指定された属性または値がディレクトリにありません。" },
    { LDAP_UNDEFINED_TYPE, 0x8007200B, "属性の種類が定義されていません。" },
    { LDAP_NO_SUCH_OBJECT, 0x80072030, "ディレクトリ サービスにそのようなオブジェクトはありません。" },
    { LDAP_ALIAS_PROBLEM, 0x80072031, "エイリアスに問題があります。" },
    { LDAP_INVALID_DN_SYNTAX, 0x80072032, "識別名 (DN) の構文が正しくありません。" },
    { LDAP_INVALID_CREDENTIALS, 0x8007052E, "ログオン失敗: ユーザー名またはパスワードが正しくありません。" },
    { LDAP_INSUFFICIENT_ACCESS, 0x80070005, "アクセスが拒否されました。" },
    { LDAP_BUSY, 0x8007200E, "ディレクトリ サービスはビジー状態です。" },
    { LDAP_UNAVAILABLE, 0x8007200F, "ディレクトリ サービスを利用できません。" },
    { LDAP_UNWILLING_TO_PERFORM, 0x80072035, "サーバーはこの要求を処理できません。" },
    { LDAP_LOOP_DETECT, 0x80072036, "ディレクトリ サービスでループが検出されました。" },
    { LDAP_SERVER_DOWN, 0x8007203A, "サーバーが動作していません。" },
    { LDAP_CONNECT_ERROR, 0x8007203A, "サーバーが動作していません (接続できません)。" },
    { LDAP_TIMEOUT, 0x8007203A, "サーバーが動作していません (応答がありません)。" },
    { LDAP_LOCAL_ERROR, 0x8007203B, "ディレクトリ クライアントでローカル エラーが発生しました。" },
    { LDAP_ENCODING_ERROR, 0x8007203C, "要求の符号化でエラーが発生しました。" },
    { LDAP_DECODING_ERROR, 0x8007203D, "サーバーの応答を解読できません。" },
    { LDAP_FILTER_ERROR, 0x8007203E, "検索フィルターが正しくありません。" },
    { LDAP_PARAM_ERROR, 0x80070057, "パラメーターが正しくありません。" },
    { LDAP_NO_MEMORY, 0x8007000E, "メモリが不足しています。" },
    { LDAP_NOT_SUPPORTED, 0x80072040, "この機能はサポートされていません。" },
    { LDAP_REFERRAL, 0x8007202B, "サーバーから紹介 (referral) が返されました。" },
});

QString serverList(const QString& uris)
{
    return messageExcerpt(uris.split(u' ', Qt::SkipEmptyParts).join(QStringLiteral(", ")), 500);
}
} // namespace

DirectoryError unreachableServersError(int resultCode, const QString& uris)
{
    const DirectoryError plain = errorFromLdap(resultCode);
    return DirectoryError(
        plain.number(), plain.description() + QStringLiteral(" 接続を試みたサーバー: ") + serverList(uris));
}

DirectoryError bindError(int resultCode, const QString& diagnostic, const QString& uris)
{
    DirectoryError plain = errorFromLdap(resultCode, diagnostic);
    // Which server the Kerberos advice is about (the SPN, the KDC of its realm).
    if (resultCode != LDAP_LOCAL_ERROR || kerberosProblemText(diagnostic).isEmpty())
        return plain;
    return DirectoryError(plain.number(), plain.description() + QStringLiteral(" 接続先: ") + serverList(uris));
}

DirectoryError protocolError(const QString& what)
{
    const DirectoryError base = errorFromLdap(LDAP_PROTOCOL_ERROR);
    return DirectoryError(base.number(), base.description() + u' ' + what);
}

QString tooMuchText(const QString& what)
{
    return QStringLiteral("サーバーが Mivora の受け付ける量を超えて送ってきました: %1。").arg(what);
}

DirectoryError tooMuchError(const QString& what)
{
    return protocolError(tooMuchText(what));
}

QString megabytes(qint64 bytes)
{
    return QStringLiteral("%1 MB").arg(bytes >> 20);
}

DirectoryError tlsHandshakeError()
{
    return DirectoryError(hresult::ServerDown,
        QStringLiteral("サーバーとの TLS 接続を確立できませんでした。サーバーの証明書が信頼されていない "
                       "(ldap.conf の TLS_CACERT に発行元の証明書がない) か、証明書の名前が接続先と一致しないか、"
                       "TLS の設定がサーバーと合いません。"));
}

DirectoryError errorFromLdap(int resultCode, const QString& diagnostic)
{
    uint32_t number = 0x80004005;
    QString text = QStringLiteral("ディレクトリ操作に失敗しました (LDAP %1: %2)。")
                       .arg(resultCode)
                       .arg(QString::fromUtf8(ldap_err2string(resultCode)));
    for (const Mapping& mapping : mappings) {
        if (mapping.code == resultCode) {
            number = mapping.number;
            text = QString::fromUtf8(mapping.text);
            break;
        }
    }
    // A failed Kerberos bind is a local error of the client: say what the user can do about it.
    const QString kerberos = resultCode == LDAP_LOCAL_ERROR ? kerberosProblemText(diagnostic) : QString();
    if (!kerberos.isEmpty())
        text = kerberos;
    const QString hardened = hardenedDcText(resultCode, diagnostic);
    if (!hardened.isEmpty())
        text = hardened;
    const QString subcode = adBindSubcodeText(diagnostic);
    if (!subcode.isEmpty())
        text += u' ' + subcode;
    const QString trimmed = diagnostic.trimmed();
    // Negative codes are libldap's own (no server, a SASL failure): its words are not the server's.
    if (!trimmed.isEmpty())
        text += (resultCode < 0 ? QStringLiteral(" (詳細: %1)") : QStringLiteral(" (サーバーからのメッセージ: %1)"))
                    .arg(messageExcerpt(trimmed, 500));
    return DirectoryError(static_cast<int32_t>(number), text);
}

} // namespace directory
