// Replies to an LDAP ping as Samba sends them (tests/directory/data), and bytes no reply may be.
#include "DataTable.h"
#include "TestFiles.h"
#include "directory/NetlogonReply.h"

namespace {
QByteArray recorded(const char* name)
{
    return testfiles::readBytes(
        QStringLiteral(MIVORA_SOURCE_DIR "/tests/directory/data/netlogon-samba-%1.bin").arg(name));
}
// Opcode 23, zero flags and GUID; the first name as given (hex), the seven others empty.
QByteArray withFirstName(const QByteArray& hex, const char* opcode = "1700")
{
    return QByteArray::fromHex(opcode) + QByteArray(22, '\0') + QByteArray::fromHex(hex) + QByteArray(7, '\0');
}
} // namespace

class TestNetlogonReply : public QObject {
    Q_OBJECT

private slots:
    void decodesTheRepliesOfALdapPing_data()
    {
        addColumns<QByteArray, QString>({ "bytes", "fields" });
        const auto samba = [](const char* flags, const char* user = "", const char* site = "Default-First-Site-Name") {
            return QStringLiteral(
                "%1|example.test|example.test|dc1.example.test|EXAMPLE|DC1|%2|Default-First-Site-Name|%3")
                .arg(flags, user, QString::fromUtf8(site));
        };
        QTest::newRow("plain") << recorded("4.17-plain") << samba("11bd");
        QTest::newRow("nothing after ClientSiteName") << recorded("4.17-plain").left(0x58) << samba("11bd");
        QTest::newRow("DcSockAddr after") << recorded("4.17-ntver0e") << samba("11bd");
        QTest::newRow("user unknown") << recorded("4.17-user-admin") << samba("11bd", "Administrator");
        QTest::newRow("client in Osaka") << recorded("4.17-osaka") << samba("113d", "", "Osaka");
        QTest::newRow("client in 大阪") << recorded("4.17-osaka-kanji") << samba("113d", "", "大阪");
        QTest::newRow("4.22, client in 大阪") << recorded("4.22-osaka-kanji") << samba("113d", "", "大阪");
        for (int n = 0; n < 0x58; ++n)
            QTest::addRow("cut at %d", n) << recorded("4.17-plain").left(n) << QString();
        QTest::newRow("opcode 19 (NtVer 2)") << recorded("4.17-ntver02") << QString();
        QTest::newRow("opcode 24") << withFirstName("00", "1800") << QString();
        const auto label = [](int n) { return QByteArray::number(n, 16) + QByteArray(n, 'a').toHex(); };
        const QString longest = QStringLiteral("0|%1.%1.%1.%2|||||||").arg(QString(63, u'a'), QString(61, u'a'));
        QTest::newRow("name of 255") << withFirstName(label(63).repeated(3) + label(61) + "00") << longest;
        for (const auto& [name, hex] : std::initializer_list<std::pair<const char*, QByteArray>> {
                 { "name of 256", label(63).repeated(3) + label(62) + "00" }, { "pointer to itself", "c018" },
                 { "forward pointer", "c01a" }, { "pointer loop", "0161c018" }, { "pointer into the GUID", "c008" },
                 { "label of 64", label(64) + "00" }, { "label type 0x80", label(128) + "00" },
                 { "invalid UTF-8", "02c32800" }, { "NUL in a label", "02610000" } })
            QTest::newRow(name) << withFirstName(hex) << QString();
    }
    void decodesTheRepliesOfALdapPing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, fields);
        // The flags (hex) and the eight names, "|" between them; empty for a refused reply.
        QString decoded;
        if (const auto r = directory::NetlogonReply::decode(bytes))
            decoded = QStringList { QString::number(r->flags, 16), r->dnsForestName, r->dnsDomainName, r->dnsHostName,
                r->netbiosDomainName, r->netbiosComputerName, r->userName, r->dcSiteName, r->clientSiteName }
                          .join(u'|');
        QCOMPARE(decoded, fields);
    }
};

QTEST_GUILESS_MAIN(TestNetlogonReply)
#include "test_NetlogonReply.moc"
