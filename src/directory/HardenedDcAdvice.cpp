#include "directory/HardenedDcAdvice.h"

#include <QRegularExpression>
#include <ldap.h>

namespace directory {

QString hardenedDcText(int resultCode, const QString& diagnostic)
{
    // SEC_E_BAD_BINDINGS: the DC wants channel bindings that match its TLS session. Windows says
    // "data 80090346", Samba "80090346: ... data 35b"; both as invalid credentials.
    static const QRegularExpression badBindings(QStringLiteral("\\b80090346\\b"));
    if (resultCode == LDAP_INVALID_CREDENTIALS && badBindings.match(diagnostic).hasMatch())
        return QStringLiteral("ドメイン コントローラーが TLS のチャネル バインディングを要求していますが、この接続の "
                              "Kerberos 認証には含まれていないか、TLS の接続と一致しません (ユーザー名やパスワードの"
                              "問題ではありません)。GSSAPI のチャネル バインディングに対応した新しい Cyrus SASL が"
                              "入っているか、ldap.conf または環境変数 LDAPSASL_CBINDING で SASL_CBINDING が none に"
                              "なっていないか、サーバーとの間に TLS を中継するプロキシがないかを確認してください。");
    // Windows: "00002028: ... integrity checking ..."; Samba: "Sign or Seal are required" (SASL)
    // and "Transport encryption required" (simple binds).
    const auto has = [&](const char* words) { return diagnostic.contains(QLatin1String(words), Qt::CaseInsensitive); };
    if (resultCode == LDAP_STRONG_AUTH_REQUIRED
        && (has("00002028") || has("integrity checking") || has("Sign or Seal are required")
            || has("Transport encryption required")))
        return QStringLiteral("ドメイン コントローラーは LDAP 署名を要求しています。暗号化されていない LDAP "
                              "(ldap://) では、Kerberos 認証の SASL セキュリティ層による署名が必要です。ldap.conf の "
                              "SASL_SECPROPS (maxssf=0 など) で SASL セキュリティ層を無効にしないでください。"
                              "ldaps:// または StartTLS で接続することもできます。");
    return {};
}

} // namespace directory
