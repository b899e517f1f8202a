// The descriptions of failed Kerberos binds and of servers that cannot be reached: each says what
// is wrong and what to do, keeps libldap's and GSSAPI's words as details, and keeps the number.
// Every expectation is the number and the text the user sees, written out.
#include "DataTable.h"
#include "directory/HardenedDcAdvice.h"
#include "directory/KerberosAdvice.h"
#include "directory/LdapErrors.h"

#include <QTest>
#include <ldap.h>

using directory::errorFromLdap;

// The diagnostics libldap gives after a failed GSSAPI bind (MIT Kerberos through Cyrus SASL), as
// literals so that the expected texts below can hold them.
#define NO_TICKET                                                                                                      \
    "SASL(-1): generic failure: GSSAPI Error: No credentials were supplied, or the credentials were unavailable or "   \
    "inaccessible (No Kerberos credentials available (default cache: FILE:/tmp/krb5cc_1000))"
#define EXPIRED                                                                                                        \
    "SASL(-1): generic failure: GSSAPI Error: Unspecified GSS failure.  Minor code may provide more information "      \
    "(Ticket expired)"
#define NO_KDC                                                                                                         \
    "SASL(-1): generic failure: GSSAPI Error: Unspecified GSS failure.  Minor code may provide more information "      \
    "(Cannot contact any KDC for realm 'EXAMPLE.TEST')"
#define NO_SPN                                                                                                         \
    "SASL(-1): generic failure: GSSAPI Error: Unspecified GSS failure.  Minor code may provide more information "      \
    "(Server ldap/10.0.0.5@EXAMPLE.TEST not found in Kerberos database)"
#define EXPIRED_IN_GSSAPI_WORDS                                                                                        \
    "SASL(-1): generic failure: GSSAPI Error: The referenced credential has expired (No credentials were supplied)"
#define CLOCK_SKEW                                                                                                     \
    "SASL(-1): generic failure: GSSAPI Error: Unspecified GSS failure.  Minor code may provide more information "      \
    "(Clock skew too great)"
#define PASSWORD_REFUSED "80090308: LdapErr: DSID-0C09041C, comment: AcceptSecurityContext error, data 52e, v4563"
#define SAMBA_BINDINGS "80090346: LdapErr: DSID-0C090711, comment: AcceptSecurityContext error, data 35b, v1db1"
#define WINDOWS_BINDINGS "80090346: LdapErr: DSID-0C09058A, comment: AcceptSecurityContext error, data 80090346, v4563"
#define WINDOWS_SIGNING                                                                                                \
    "00002028: LdapErr: DSID-0C090259, comment: The server requires binds to turn on integrity checking if SSL\\TLS "  \
    "are not already active on the connection, data 0, v4563"

namespace {
constexpr int32_t localError = -2147016645; // 0x8007203B
constexpr int32_t logonFailure = -2147023570; // 0x8007052E
constexpr int32_t strongAuthRequired = -2147016664; // 0x80072028
constexpr int32_t serverDown = -2147016646; // 0x8007203A
const QString noSpnAdvice = QStringLiteral("接続先のサーバー名がドメインの Kerberos に登録されていません (SPN "
                                           "がありません)。ドメイン コントローラーの DNS 名で接続するか、管理者に"
                                           "サーバー名 ldap/<名前> の SPN の登録を依頼してください。");
const QString expiredAdvice
    = QStringLiteral("Kerberos のチケットの有効期限が切れています。kinit を実行するか、ドメインに"
                     "ログオンし直してチケットを更新してから、もう一度接続してください。");

// `error` has the row's number and description.
void compareWithRow(const directory::DirectoryError& error)
{
    QFETCH(int32_t, number);
    QFETCH(QString, description);
    QCOMPARE(error.number(), number);
    QCOMPARE(error.description(), description);
}
} // namespace

class TestLdapErrors : public QObject {
    Q_OBJECT

private slots:
    void eachKerberosFailureHasItsOwnAdvice_data()
    {
        addColumns<QString, QString, QStringList>({ "diagnostic", "description", "words" });
        QTest::newRow("no ticket")
            << QStringLiteral(NO_TICKET)
            << QStringLiteral("Kerberos のチケットがありません。ドメインのアカウントでログオンし直すか、kinit "
                              "を実行してチケットを取得してから、もう一度接続してください。 (詳細: " NO_TICKET ")")
            << QStringList { "チケットがありません", "kinit", "ログオン" };
        QTest::newRow("expired") << QStringLiteral(EXPIRED) << expiredAdvice + QStringLiteral(" (詳細: " EXPIRED ")")
                                 << QStringList { "有効期限が切れています", "kinit" };
        QTest::newRow("expired, in GSSAPI's words")
            << QStringLiteral(EXPIRED_IN_GSSAPI_WORDS)
            << expiredAdvice + QStringLiteral(" (詳細: " EXPIRED_IN_GSSAPI_WORDS ")")
            << QStringList { "有効期限が切れています", "kinit" };
        QTest::newRow("no KDC") << QStringLiteral(NO_KDC)
                                << QStringLiteral("Kerberos の KDC (ドメイン コントローラー) に接続できません。ネット"
                                                  "ワークと、DNS の _kerberos._tcp.<ドメイン> の SRV レコードまたは "
                                                  "krb5.conf の KDC の設定を確認してください。 (詳細: " NO_KDC ")")
                                << QStringList { "KDC", "接続できません", "_kerberos._tcp", "krb5.conf" };
        QTest::newRow("no SPN") << QStringLiteral(NO_SPN) << noSpnAdvice + QStringLiteral(" (詳細: " NO_SPN ")")
                                << QStringList { "SPN", "登録されていません" };
        QTest::newRow("clock skew")
            << QStringLiteral(CLOCK_SKEW)
            << QStringLiteral(
                   "Kerberos で認証できません: このコンピューターの時計とドメイン コントローラーの時計の差が "
                   "Kerberos の許す範囲 (既定では 5 分) を超えています。時刻同期サービス (chrony または "
                   "systemd-timesyncd) がドメイン コントローラーと同期しているかを timedatectl で確認し、"
                   "時計を合わせてから、もう一度接続してください。 (詳細: " CLOCK_SKEW ")")
            << QStringList { "時計", "5 分", "chrony", "timedatectl" };
    }
    void eachKerberosFailureHasItsOwnAdvice()
    {
        QFETCH(QString, diagnostic);
        QFETCH(QString, description);
        QFETCH(QStringList, words);
        const directory::DirectoryError error = errorFromLdap(LDAP_LOCAL_ERROR, diagnostic);

        QCOMPARE(error.number(), localError);
        QCOMPARE(error.description(), description);
        const QString advice = directory::kerberosProblemText(diagnostic);
        QVERIFY(!advice.isEmpty());
        QVERIFY(description.startsWith(advice + QStringLiteral(" (詳細: ")));
        for (const QString& word : words)
            QVERIFY2(advice.contains(word), qPrintable(word));
    }

    void theFourAdvicesDiffer()
    {
        QStringList texts;
        for (const char* diagnostic : { NO_TICKET, EXPIRED, NO_KDC, NO_SPN })
            texts.append(directory::kerberosProblemText(QString::fromUtf8(diagnostic)));
        texts.removeDuplicates();
        QCOMPARE(texts.size(), 4);
    }

    void otherLocalErrorsAndOtherCodesKeepTheirText_data()
    {
        addColumns<int, QString, int32_t, QString>({ "code", "diagnostic", "number", "description" });
        QTest::newRow("another local error")
            << LDAP_LOCAL_ERROR << QStringLiteral("SASL(-4): no mechanism available: No worthy mechs found")
            << localError
            << QStringLiteral("ディレクトリ クライアントでローカル エラーが発生しました。 (詳細: SASL(-4): no "
                              "mechanism available: No worthy mechs found)");
        // A server's message that quotes Kerberos words is the server's, not advice about the ticket.
        QTest::newRow("a server quoting Kerberos")
            << LDAP_UNWILLING_TO_PERFORM << QStringLiteral(NO_TICKET) << -2147016651 // 0x80072035
            << QStringLiteral("サーバーはこの要求を処理できません。 (サーバーからのメッセージ: " NO_TICKET ")");
    }
    void otherLocalErrorsAndOtherCodesKeepTheirText()
    {
        QFETCH(int, code);
        QFETCH(QString, diagnostic);
        const directory::DirectoryError error = errorFromLdap(code, diagnostic);

        compareWithRow(error);
        QVERIFY(!error.description().contains(QStringLiteral("kinit")));
    }

    void aKerberosBindErrorNamesTheServer_data()
    {
        addColumns<int, QString, int32_t, QString>({ "code", "diagnostic", "number", "description" });
        QTest::newRow("Kerberos") << LDAP_LOCAL_ERROR << QStringLiteral(NO_SPN) << localError
                                  << noSpnAdvice
                + QStringLiteral(" (詳細: " NO_SPN ") 接続先: ldap://alias.example.test:389");
        // Other failed binds are as the server or libldap gave them.
        QTest::newRow("password") << LDAP_INVALID_CREDENTIALS << QStringLiteral(PASSWORD_REFUSED) << logonFailure
                                  << QStringLiteral("ログオン失敗: ユーザー名またはパスワードが正しくありません。 "
                                                    "ユーザー名またはパスワードが正しくありません。 (サーバーからの"
                                                    "メッセージ: " PASSWORD_REFUSED ")");
    }
    void aKerberosBindErrorNamesTheServer()
    {
        QFETCH(int, code);
        QFETCH(QString, diagnostic);
        const directory::DirectoryError error
            = directory::bindError(code, diagnostic, QStringLiteral("ldap://alias.example.test:389"));

        compareWithRow(error);
    }

    void aHardenedDcsRefusalSaysWhatItRequires_data()
    {
        addColumns<int, QString, int32_t, QString, QStringList>(
            { "code", "diagnostic", "number", "description", "words" });
        const QStringList bindings { "チャネル バインディング", "ユーザー名やパスワードの問題ではありません",
            "Cyrus SASL", "SASL_CBINDING", "プロキシ" };
        const QStringList signing { "LDAP 署名を要求", "maxssf=0", "無効にしないでください", "StartTLS" };
        // The advice the user sees, then the server's words.
        const QString bindingsAdvice
            = QStringLiteral("ドメイン コントローラーが TLS のチャネル バインディングを要求していますが、"
                             "この接続の Kerberos 認証には含まれていないか、TLS の接続と一致しません "
                             "(ユーザー名やパスワードの問題ではありません)。GSSAPI のチャネル バインディングに"
                             "対応した新しい Cyrus SASL が入っているか、ldap.conf または環境変数 "
                             "LDAPSASL_CBINDING で SASL_CBINDING が none になっていないか、サーバーとの間に "
                             "TLS を中継するプロキシがないかを確認してください。 (サーバーからのメッセージ: ");
        const QString signingAdvice
            = QStringLiteral("ドメイン コントローラーは LDAP 署名を要求しています。暗号化されていない "
                             "LDAP (ldap://) では、Kerberos 認証の SASL セキュリティ層による署名が必要です。"
                             "ldap.conf の SASL_SECPROPS (maxssf=0 など) で SASL セキュリティ層を無効に"
                             "しないでください。ldaps:// または StartTLS で接続することもできます。 "
                             "(サーバーからのメッセージ: ");
        QTest::newRow("bindings, Samba") << LDAP_INVALID_CREDENTIALS << QStringLiteral(SAMBA_BINDINGS) << logonFailure
                                         << bindingsAdvice + QStringLiteral(SAMBA_BINDINGS ")") << bindings;
        QTest::newRow("bindings, Windows")
            << LDAP_INVALID_CREDENTIALS << QStringLiteral(WINDOWS_BINDINGS) << logonFailure
            << bindingsAdvice + QStringLiteral(WINDOWS_BINDINGS ")") << bindings;
        QTest::newRow("signing, Windows")
            << LDAP_STRONG_AUTH_REQUIRED << QStringLiteral(WINDOWS_SIGNING) << strongAuthRequired
            << signingAdvice + QStringLiteral(WINDOWS_SIGNING ")") << signing;
        QTest::newRow("signing, Samba") << LDAP_STRONG_AUTH_REQUIRED
                                        << QStringLiteral("SASL:[GSSAPI]: Sign or Seal are required.")
                                        << strongAuthRequired
                                        << signingAdvice + QStringLiteral("SASL:[GSSAPI]: Sign or Seal are required.)")
                                        << signing;
    }
    void aHardenedDcsRefusalSaysWhatItRequires()
    {
        QFETCH(int, code);
        QFETCH(QString, diagnostic);
        QFETCH(QStringList, words);
        const directory::DirectoryError error = errorFromLdap(code, diagnostic);

        compareWithRow(error);
        const QString advice = directory::hardenedDcText(code, diagnostic);
        QVERIFY(error.description().startsWith(advice + QStringLiteral(" (サーバーからのメッセージ: ")));
        for (const QString& word : words)
            QVERIFY2(advice.contains(word), qPrintable(word));
        // The same words with another result, or a password refused, keep the plain text.
        QCOMPARE(directory::hardenedDcText(LDAP_UNWILLING_TO_PERFORM, diagnostic), QString());
        QVERIFY(!errorFromLdap(code, QStringLiteral("AcceptSecurityContext error, data 52e, v4563"))
                     .description()
                     .contains(advice));
    }

    void unreachableServersAreNamed_data()
    {
        addColumns<int, int32_t, QString>({ "code", "number", "description" });
        QTest::newRow("down") << LDAP_SERVER_DOWN << serverDown
                              << QStringLiteral("サーバーが動作していません。 接続を試みたサーバー: "
                                                "ldap://dc0.example.test:389, ldap://dc9.example.test:389");
    }
    void unreachableServersAreNamed()
    {
        QFETCH(int, code);
        const directory::DirectoryError error = directory::unreachableServersError(
            code, QStringLiteral("ldap://dc0.example.test:389 ldap://dc9.example.test:389"));
        compareWithRow(error);
    }
};

QTEST_APPLESS_MAIN(TestLdapErrors)
#include "test_LdapErrors.moc"
