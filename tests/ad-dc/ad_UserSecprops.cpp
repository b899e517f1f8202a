// SASL security properties that the user's ldap.conf sets are obeyed as written, even where the
// program would choose otherwise: over ldaps:// with "SASL_SECPROPS maxssf=65536" (SASL counts TLS's
// strength against it, and this leaves room for more) the bind asks for a SASL layer inside TLS,
// and the DC's refusal of it is what the box shows.
#include "AdDc.h"
#include "BrowserTests.h"

#include <QLineEdit>
#include <QTemporaryDir>

using namespace browsertests;

class AdUserSecprops : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        AD_DC_SKIP_UNLESS_RUNNING();
        QVERIFY(temp.isValid());
        // The DC's ldaps.conf and the user's own line; libldap reads LDAPCONF on its first use,
        // which comes after this.
        QFile ldaps(AdDc::runDirectory + QStringLiteral("/ldaps.conf"));
        QVERIFY(ldaps.open(QIODevice::ReadOnly));
        QFile conf(temp.filePath(QStringLiteral("ldap.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(ldaps.readAll() + "SASL_SECPROPS maxssf=65536\n");
        conf.close();
        qputenv("LDAPCONF", QFile::encodeName(conf.fileName()));
    }

    void theUsersMaxssfIsKeptUnderTls()
    {
        const auto window
            = openMainWindow(AdDc::domain, QStringLiteral("field-probe"), QStringLiteral("Field-Passw0rd!"));
        MessageRecorder recorder;

        click(window->cmdConnect);

        QCOMPARE(recorder.boxes.size(), 1);
        const QString text = recorder.boxes.constFirst().text;
        QVERIFY2(text.contains(QStringLiteral("Sign or Seal are not allowed if TLS is used")), qPrintable(text));
        QCOMPARE(window->lvList->model()->rowCount(), 0);
    }

private:
    QTemporaryDir temp;
};

QTEST_MAIN(AdUserSecprops)
#include "ad_UserSecprops.moc"
