#include "directory/KerberosAdvice.h"

namespace directory {

QString kerberosProblemText(const QString& diagnostic)
{
    // MIT Kerberos' words as GSSAPI passes them through SASL and libldap.
    const auto has = [&](const char* words) { return diagnostic.contains(QLatin1String(words), Qt::CaseInsensitive); };
    // An expired ticket may come with the words of a missing one: it is looked for first.
    if (has("Ticket expired") || has("Ticket has expired") || has("credential has expired")
        || has("credentials have expired"))
        return QStringLiteral("Kerberos のチケットの有効期限が切れています。kinit を実行するか、"
                              "ドメインにログオンし直してチケットを更新してから、もう一度接続してください。");
    if (has("No Kerberos credentials available") || has("No credentials cache found")
        || has("No credentials were supplied") || (has("Credentials cache") && has("not found")))
        return QStringLiteral("Kerberos のチケットがありません。ドメインのアカウントでログオンし直すか、"
                              "kinit を実行してチケットを取得してから、もう一度接続してください。");
    if (has("Cannot contact any KDC") || has("Cannot find KDC") || has("Cannot resolve network address for KDC"))
        return QStringLiteral("Kerberos の KDC (ドメイン コントローラー) に接続できません。ネットワークと、"
                              "DNS の _kerberos._tcp.<ドメイン> の SRV レコードまたは krb5.conf の KDC の設定を"
                              "確認してください。");
    // KRB5KRB_AP_ERR_SKEW: the desktop's clock, most often (back from sleep, a restored VM).
    if (has("Clock skew too great"))
        return QStringLiteral(
            "Kerberos で認証できません: このコンピューターの時計とドメイン コントローラーの時計の差が "
            "Kerberos の許す範囲 (既定では 5 分) を超えています。時刻同期サービス (chrony または "
            "systemd-timesyncd) がドメイン コントローラーと同期しているかを timedatectl で確認し、"
            "時計を合わせてから、もう一度接続してください。");
    if (has("not found in Kerberos database"))
        return QStringLiteral("接続先のサーバー名がドメインの Kerberos に登録されていません (SPN がありません)。"
                              "ドメイン コントローラーの DNS 名で接続するか、管理者にサーバー名 ldap/<名前> の "
                              "SPN の登録を依頼してください。");
    return {};
}

} // namespace directory
