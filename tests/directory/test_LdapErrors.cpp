// The descriptions of failed Kerberos binds and of servers that cannot be reached: each says what
// is wrong and what to do, keeps libldap's and GSSAPI's words as details, and keeps the number.
#include "DataTable.h"
#include "directory/HardenedDcAdvice.h"
#include "directory/KerberosAdvice.h"
#include "directory/LdapErrors.h"

#include <QTest>
#include <ldap.h>

using directory::errorFromLdap;

namespace {
// The diagnostics libldap gives after a failed GSSAPI bind (MIT Kerberos through Cyrus SASL).
const QString noTicket = QStringLiteral("SASL(-1): generic failure: GSSAPI Error: No credentials were supplied, or the "
                                        "credentials were unavailable or inaccessible (No Kerberos credentials "
                                        "available (default cache: FILE:/tmp/krb5cc_1000))");
const QString expired = QStringLiteral("SASL(-1): generic failure: GSSAPI Error: Unspecified GSS failure.  Minor code "
                                       "may provide more information (Ticket expired)");
const QString noKdc = QStringLiteral("SASL(-1): generic failure: GSSAPI Error: Unspecified GSS failure.  Minor code "
                                     "may provide more information (Cannot contact any KDC for realm 'EXAMPLE.TEST')");
const QString noSpn = QStringLiteral("SASL(-1): generic failure: GSSAPI Error: Unspecified GSS failure.  Minor code "
                                     "may provide more information (Server ldap/10.0.0.5@EXAMPLE.TEST not found in "
                                     "Kerberos database)");
} // namespace

class TestLdapErrors : public QObject {
    Q_OBJECT

private slots:
    void eachKerberosFailureHasItsOwnAdvice_data()
    {
        addColumns<QString, QStringList>({ "diagnostic", "words" });
        QTest::newRow("no ticket") << noTicket << QStringList { "チケットがありません", "kinit", "ログオン" };
        QTest::newRow("expired") << expired << QStringList { "有効期限が切れています", "kinit" };
        QTest::newRow("expired, in GSSAPI's words") << QStringLiteral(
            "SASL(-1): generic failure: GSSAPI Error: The referenced credential has expired (No "
            "credentials were supplied)") << QStringList { "有効期限が切れています", "kinit" };
        QTest::newRow("no KDC") << noKdc << QStringList { "KDC", "接続できません", "_kerberos._tcp", "krb5.conf" };
        QTest::newRow("no SPN") << noSpn << QStringList { "SPN", "登録されていません" };
        QTest::newRow("clock skew") << QStringLiteral(
            "SASL(-1): generic failure: GSSAPI Error: Unspecified GSS failure.  Minor code may provide more "
            "information (Clock skew too great)")
                                    << QStringList { "時計", "5 分", "chrony", "timedatectl" };
    }
    void eachKerberosFailureHasItsOwnAdvice()
    {
        QFETCH(QString, diagnostic);
        QFETCH(QStringList, words);
        const directory::DirectoryError error = errorFromLdap(LDAP_LOCAL_ERROR, diagnostic);

        QCOMPARE(error.number(), errorFromLdap(LDAP_LOCAL_ERROR).number());
        const QString advice = directory::kerberosProblemText(diagnostic);
        QVERIFY(!advice.isEmpty());
        QCOMPARE(error.description(), advice + QStringLiteral(" (詳細: ") + diagnostic + u')');
        for (const QString& word : words)
            QVERIFY2(advice.contains(word), qPrintable(word));
    }

    void theFourAdvicesDiffer()
    {
        QStringList texts;
        for (const QString& diagnostic : { noTicket, expired, noKdc, noSpn })
            texts.append(directory::kerberosProblemText(diagnostic));
        texts.removeDuplicates();
        QCOMPARE(texts.size(), 4);
    }

    void otherLocalErrorsAndOtherCodesKeepTheirText()
    {
        const QString other = QStringLiteral("SASL(-4): no mechanism available: No worthy mechs found");
        QCOMPARE(errorFromLdap(LDAP_LOCAL_ERROR, other).description(),
            errorFromLdap(LDAP_LOCAL_ERROR).description() + QStringLiteral(" (詳細: ") + other + u')');
        // A server's message that quotes Kerberos words is the server's, not advice about the ticket.
        QVERIFY(!errorFromLdap(LDAP_UNWILLING_TO_PERFORM, noTicket).description().contains(QStringLiteral("kinit")));
    }

    void aKerberosBindErrorNamesTheServer()
    {
        const QString uris = QStringLiteral("ldap://alias.example.test:389");
        const directory::DirectoryError error = directory::bindError(LDAP_LOCAL_ERROR, noSpn, uris);
        QCOMPARE(error.number(), errorFromLdap(LDAP_LOCAL_ERROR).number());
        QCOMPARE(error.description(),
            errorFromLdap(LDAP_LOCAL_ERROR, noSpn).description() + QStringLiteral(" 接続先: ") + uris);
        // Other failed binds are as the server or libldap gave them.
        const QString badPassword = QStringLiteral("80090308: LdapErr: DSID-0C09041C, comment: AcceptSecurityContext "
                                                   "error, data 52e, v4563");
        QCOMPARE(directory::bindError(LDAP_INVALID_CREDENTIALS, badPassword, uris).description(),
            errorFromLdap(LDAP_INVALID_CREDENTIALS, badPassword).description());
    }

    void aHardenedDcsRefusalSaysWhatItRequires_data()
    {
        addColumns<int, QString, QStringList>({ "code", "diagnostic", "words" });
        const QStringList bindings { "チャネル バインディング", "ユーザー名やパスワードの問題ではありません",
            "Cyrus SASL", "SASL_CBINDING", "プロキシ" };
        const QStringList signing { "LDAP 署名を要求", "maxssf=0", "無効にしないでください", "StartTLS" };
        QTest::newRow("bindings, Samba") << LDAP_INVALID_CREDENTIALS
                                         << QStringLiteral("80090346: LdapErr: DSID-0C090711, comment: "
                                                           "AcceptSecurityContext error, data 35b, v1db1")
                                         << bindings;
        QTest::newRow("bindings, Windows") << LDAP_INVALID_CREDENTIALS
                                           << QStringLiteral("80090346: LdapErr: DSID-0C09058A, comment: "
                                                             "AcceptSecurityContext error, data 80090346, v4563")
                                           << bindings;
        QTest::newRow("signing, Windows") << LDAP_STRONG_AUTH_REQUIRED
                                          << QStringLiteral("00002028: LdapErr: DSID-0C090259, comment: The server "
                                                            "requires binds to turn on integrity checking if SSL\\TLS "
                                                            "are not already active on the connection, data 0, v4563")
                                          << signing;
        QTest::newRow("signing, Samba") << LDAP_STRONG_AUTH_REQUIRED
                                        << QStringLiteral("SASL:[GSSAPI]: Sign or Seal are required.") << signing;
    }
    void aHardenedDcsRefusalSaysWhatItRequires()
    {
        QFETCH(int, code);
        QFETCH(QString, diagnostic);
        QFETCH(QStringList, words);
        const directory::DirectoryError error = errorFromLdap(code, diagnostic);

        QCOMPARE(error.number(), errorFromLdap(code).number());
        const QString advice = directory::hardenedDcText(code, diagnostic);
        QCOMPARE(error.description(), advice + QStringLiteral(" (サーバーからのメッセージ: ") + diagnostic + u')');
        for (const QString& word : words)
            QVERIFY2(advice.contains(word), qPrintable(word));
        // The same words with another result, or a password refused, keep the plain text.
        QCOMPARE(directory::hardenedDcText(LDAP_UNWILLING_TO_PERFORM, diagnostic), QString());
        QVERIFY(!errorFromLdap(code, QStringLiteral("AcceptSecurityContext error, data 52e, v4563"))
                     .description()
                     .contains(advice));
    }

    void unreachableServersAreNamed()
    {
        const directory::DirectoryError error = directory::unreachableServersError(
            LDAP_SERVER_DOWN, QStringLiteral("ldap://dc0.example.test:389 ldap://dc9.example.test:389"));
        QCOMPARE(error.number(), directory::hresult::ServerDown);
        QVERIFY(error.description().startsWith(errorFromLdap(LDAP_SERVER_DOWN).description()));
        QVERIFY2(
            error.description().endsWith(QStringLiteral("ldap://dc0.example.test:389, ldap://dc9.example.test:389")),
            qPrintable(error.description()));
    }
};

QTEST_APPLESS_MAIN(TestLdapErrors)
#include "test_LdapErrors.moc"
