#include "directory/Connection.h"

#include "directory/LdapErrors.h"
#include "directory/RepeatedTexts.h"

#include <QFile>
#include <QHash>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <exception>
#include <openldap.h>
#include <poll.h>
#include <sasl/sasl.h>
#include <unistd.h>

namespace directory {

namespace {

// Strings the SASL library may read after the interaction callback has returned: they live in
// this struct for the whole bind.
struct SaslDefaults {
    QByteArray realm;
    QByteArray authcid;
    QByteArray authzid;
};

QByteArray stringOption(LDAP* ld, int option)
{
    char* value = nullptr;
    if (ldap_get_option(ld, option, &value) != LDAP_OPT_SUCCESS || !value)
        return {};
    ldap::CharPtr owner(value);
    return QByteArray(value);
}

int saslInteract(LDAP*, unsigned, void* defaultsPointer, void* interactions)
{
    const auto* defaults = static_cast<const SaslDefaults*>(defaultsPointer);
    for (auto* interaction = static_cast<sasl_interact_t*>(interactions); interaction->id != SASL_CB_LIST_END;
         ++interaction) {
        const QByteArray* value = nullptr;
        switch (interaction->id) {
        case SASL_CB_GETREALM:
            value = &defaults->realm;
            break;
        case SASL_CB_AUTHNAME:
            value = &defaults->authcid;
            break;
        case SASL_CB_USER:
            value = &defaults->authzid;
            break;
        default:
            // A password or anything else is never supplied: the bind is as the logged-on user.
            break;
        }
        interaction->result = value ? value->constData() : "";
        interaction->len = value ? static_cast<unsigned>(value->size()) : 0;
    }
    return LDAP_SUCCESS;
}

struct CStringArray {
    explicit CStringArray(const QStringList& texts)
    {
        for (const QString& text : texts)
            storage.append(text.toUtf8());
        for (QByteArray& bytes : storage)
            pointers.push_back(bytes.data());
        pointers.push_back(nullptr);
    }
    char** data() { return pointers.size() > 1 ? pointers.data() : nullptr; }
    QList<QByteArray> storage;
    std::vector<char*> pointers;
};

int networkTimeoutForTesting = 0;
int answerTimeoutForTesting = 0;
int pageSizeForTesting = 0;

timeval networkTimeout()
{
    return timeval { networkTimeoutForTesting > 0 ? networkTimeoutForTesting : Connection::networkTimeoutSeconds, 0 };
}

timeval answerTimeout()
{
    return timeval { answerTimeoutForTesting > 0 ? answerTimeoutForTesting : Connection::answerTimeoutSeconds, 0 };
}

// A connection that cannot be set up as asked is not used.
[[noreturn]] void failSetup(const char* call, int option)
{
    throw errorFromLdap(LDAP_LOCAL_ERROR, QStringLiteral("%1(0x%2)").arg(QLatin1String(call)).arg(option, 0, 16));
}

void setOption(LDAP* ld, int option, const void* value)
{
    if (ldap_set_option(ld, option, value) != LDAP_OPT_SUCCESS)
        failSetup("ldap_set_option", option);
}

template <typename Value> Value getOption(LDAP* ld, int option)
{
    Value value {};
    if (ldap_get_option(ld, option, &value) != LDAP_OPT_SUCCESS)
        failSetup("ldap_get_option", option);
    return value;
}

// The result code of the session's last operation; `fallback` when libldap cannot say.
int sessionResultCode(LDAP* ld, int fallback)
{
    int rc = fallback;
    return ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &rc) == LDAP_OPT_SUCCESS ? rc : fallback;
}

// A server that breaks the protocol on purpose or by fault: a protocol error with what it did.
DirectoryError protocolError(const QString& what)
{
    const DirectoryError base = errorFromLdap(LDAP_PROTOCOL_ERROR);
    return DirectoryError(base.number(), base.description() + u' ' + what);
}

// Called by libldap just before a TLS handshake, with the connection's flag as argument.
int noteTlsStart(LDAP*, void*, void*, void* started)
{
    *static_cast<bool*>(started) = true;
    return 0;
}

// Whether ldap.conf, ldaprc or the environment set SASL_CBINDING, looked for where and as
// libldap looks when it starts (ldap_int_initialize). A "none" written there reads back from
// libldap like its default, which is why the files are read here. The system file is Debian's
// libldap's; one elsewhere that says "none" is not seen.
bool channelBindingConfigured()
{
    if (qEnvironmentVariableIsSet("LDAPNOINIT"))
        return false;
    bool configured = false;
    const auto readConf = [&configured](const QByteArray& path) {
        QFile file(QFile::decodeName(path));
        if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
            return;
        static constexpr QByteArrayView keyword("SASL_CBINDING");
        while (!file.atEnd()) {
            const QByteArray line = file.readLine();
            if (line.startsWith('#'))
                continue;
            const QByteArray trimmed = line.trimmed();
            qsizetype end = 0;
            while (end < trimmed.size() && !std::isspace(static_cast<unsigned char>(trimmed[end])))
                ++end;
            if (end < trimmed.size() && QByteArrayView(trimmed).first(end).compare(keyword, Qt::CaseInsensitive) == 0)
                configured = true;
        }
    };
    // ~/name, ~/.name and name in the working folder, as libldap looks for a user's file.
    const auto readUserConf = [&readConf](const QByteArray& name) {
        if (name.isEmpty())
            return;
        const QByteArray home = qgetenv("HOME");
        if (!home.isEmpty()) {
            readConf(home + '/' + name);
            readConf(home + "/." + name);
        }
        readConf(name);
    };
    readConf("/etc/ldap/ldap.conf");
    if (geteuid() == getuid()) {
        readUserConf("ldaprc");
        readConf(qgetenv("LDAPCONF"));
        readUserConf(qgetenv("LDAPRC"));
        configured = configured || qEnvironmentVariableIsSet("LDAPSASL_CBINDING");
    }
    return configured;
}

} // namespace

Connection::Connection(QString uri)
    : uri_(std::move(uri))
{ }

void Connection::setPageSizeForTesting(int size)
{
    pageSizeForTesting = size;
}

void Connection::setTimeoutsForTesting(int networkSeconds, int answerSeconds)
{
    networkTimeoutForTesting = networkSeconds;
    answerTimeoutForTesting = answerSeconds;
}

std::shared_ptr<Connection> Connection::openAsCurrentUser(const QString& uri)
{
    std::shared_ptr<Connection> connection(new Connection(uri));
    connection->open();
    connection->bindAsCurrentUser();
    connection->readAhead();
    return connection;
}

std::shared_ptr<Connection> Connection::openWithPassword(
    const QString& uri, const QString& user, const QString& password)
{
    std::shared_ptr<Connection> connection(new Connection(uri));
    connection->open();
    connection->bindWithPassword(user, password);
    connection->readAhead();
    return connection;
}

std::shared_ptr<Connection> Connection::openOnSocket(
    int fd, const QString& uri, const QString& user, const QString& password)
{
    std::shared_ptr<Connection> connection(new Connection(uri));
    LDAP* ld = nullptr;
    const int rc = ldap_init_fd(fd,
        uri.startsWith(QLatin1String("ldapi://"), Qt::CaseInsensitive) ? LDAP_PROTO_IPC : LDAP_PROTO_TCP,
        uri.toUtf8().constData(), &ld);
    if (rc != LDAP_SUCCESS || !ld) {
        ::close(fd);
        throw errorFromLdap(rc == LDAP_SUCCESS ? LDAP_PARAM_ERROR : rc, uri);
    }
    connection->ld_.reset(ld);
    connection->configure();
    if (user.isEmpty())
        connection->bindAsCurrentUser();
    else
        connection->bindWithPassword(user, password);
    connection->readAhead();
    return connection;
}

void Connection::open()
{
    LDAP* ld = nullptr;
    const int rc = ldap_initialize(&ld, uri_.toUtf8().constData());
    if (rc != LDAP_SUCCESS || !ld)
        throw errorFromLdap(rc == LDAP_SUCCESS ? LDAP_PARAM_ERROR : rc, uri_);
    ld_.reset(ld);
    configure();
    // Connect now rather than inside the bind: whether TLS (ldaps:// or StartTLS from the URI)
    // protects the connection decides the SASL security layer. libldap tries each URI in turn.
    const int connected = ldap_connect(ld);
    if (connected != LDAP_SUCCESS)
        failBind(connected);
}

void Connection::configure()
{
    LDAP* ld = ld_.get();
    const int version = LDAP_VERSION3;
    setOption(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    setOption(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    setOption(ld, LDAP_OPT_RESTART, LDAP_OPT_ON);
    const timeval network = networkTimeout();
    setOption(ld, LDAP_OPT_NETWORK_TIMEOUT, &network);
    // The synchronous calls (the SASL bind) wait no longer than an answer may take.
    const timeval answer = answerTimeout();
    setOption(ld, LDAP_OPT_TIMEOUT, &answer);
    setOption(ld, LDAP_OPT_X_TLS_CONNECT_ARG, &tlsStarted_);
    setOption(ld, LDAP_OPT_X_TLS_CONNECT_CB, reinterpret_cast<void*>(&noteTlsStart));
    // The Kerberos service name is the host connected to (the URI's or the SRV target's), not
    // what a reverse lookup of its address gives: AD zones seldom hold PTR records, and Windows
    // and sssd do not canonicalise either. Off is also libldap's default, so an "off" in
    // ldap.conf cannot be told apart; krb5.conf's dns_canonicalize_hostname and rdns still
    // canonicalise the name handed over.
    if (!getOption<int>(ld, LDAP_OPT_X_SASL_NOCANON))
        setOption(ld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
    // The socket buffer of the first connection, used from the bind on: a longer message fails
    // with ERANGE before libldap allocates it.
    auto* socket = getOption<Sockbuf*>(ld, LDAP_OPT_SOCKBUF);
    ber_len_t limit = maxMessageBytes;
    if (!socket || ber_sockbuf_ctrl(socket, LBER_SB_OPT_SET_MAX_INCOMING, &limit) != 1)
        failSetup("ber_sockbuf_ctrl", LBER_SB_OPT_SET_MAX_INCOMING);
}

void Connection::bindAsCurrentUser()
{
    LDAP* ld = ld_.get();
    QByteArray mechanism = stringOption(ld, LDAP_OPT_X_SASL_MECH);
    if (mechanism.isEmpty())
        mechanism = uri_.startsWith(QLatin1String("ldapi://"), Qt::CaseInsensitive) ? "EXTERNAL" : "GSSAPI";
    // Under TLS no SASL security layer: Active Directory refuses sign or seal inside TLS. On
    // plain LDAP the layer stays (a DC that requires signing needs it). SSF limits that
    // ldap.conf's SASL_SECPROPS changed from libldap's defaults (0 and INT_MAX) are left alone.
    const bool underTls = ldap_tls_inplace(ld) != 0;
    if (underTls && getOption<ber_len_t>(ld, LDAP_OPT_X_SASL_SSF_MIN) == 0
        && getOption<ber_len_t>(ld, LDAP_OPT_X_SASL_SSF_MAX) == INT_MAX) {
        const ber_len_t noLayer = 0;
        setOption(ld, LDAP_OPT_X_SASL_SSF_MAX, &noLayer);
    }
    // Under TLS the bind carries channel bindings (tls-server-end-point, RFC 5929: a hash of the
    // server's certificate), which tie the Kerberos authentication to this TLS session. DCs that
    // enforce them (Samba 4.20 and later by default, Windows with LdapEnforceChannelBinding = 2)
    // refuse a bind without; libldap sends none unless told. A SASL_CBINDING the user set, even
    // "none", is left as it is. Plain LDAP has no TLS session to bind to.
    if (underTls && getOption<int>(ld, LDAP_OPT_X_SASL_CBINDING) == LDAP_OPT_X_SASL_CBINDING_NONE
        && !channelBindingConfigured()) {
        const int endpoint = LDAP_OPT_X_SASL_CBINDING_TLS_ENDPOINT;
        setOption(ld, LDAP_OPT_X_SASL_CBINDING, &endpoint);
    }
    SaslDefaults defaults { stringOption(ld, LDAP_OPT_X_SASL_REALM), stringOption(ld, LDAP_OPT_X_SASL_AUTHCID),
        stringOption(ld, LDAP_OPT_X_SASL_AUTHZID) };
    const int rc = ldap_sasl_interactive_bind_s(
        ld, nullptr, mechanism.constData(), nullptr, nullptr, LDAP_SASL_QUIET, saslInteract, &defaults);
    if (rc != LDAP_SUCCESS)
        failBind(rc);
}

void Connection::bindWithPassword(const QString& user, const QString& password)
{
    QByteArray secret = password.toUtf8();
    berval credentials { static_cast<ber_len_t>(secret.size()), secret.data() };
    const int rc = ldap_sasl_bind_s(
        ld_.get(), user.toUtf8().constData(), LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr, nullptr);
    secret.fill('\0');
    if (rc != LDAP_SUCCESS)
        failBind(rc);
}

void Connection::failBind(int returned)
{
    int rc = sessionResultCode(ld_.get(), LDAP_SUCCESS);
    if (rc == LDAP_SUCCESS)
        rc = returned;
    // Gone (while connecting or binding) after a TLS session was begun and before any
    // answer: the handshake failed (an untrusted certificate, most often). libldap only says
    // "Can't contact LDAP server", which is wrong: the server answered.
    if (tlsStarted_ && (rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR)) {
        broken_ = true;
        throw tlsHandshakeError();
    }
    // No server answered: say which ones were tried (the URI list may come from DNS).
    if (rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR || rc == LDAP_TIMEOUT) {
        broken_ = true;
        throw unreachableServersError(rc, uri_);
    }
    throw bindError(rc, QString::fromUtf8(stringOption(ld_.get(), LDAP_OPT_DIAGNOSTIC_MESSAGE)), uri_);
}

void Connection::readAhead()
{
    // libldap reads each message with two reads of the socket (header, then body) after a poll:
    // 200,000 calls for a listing of 100,000 entries. A read-ahead buffer under the protocol
    // layers (TLS, SASL) takes what the socket holds in one read, and libldap asks it whether
    // data is buffered before it polls.
    auto* socket = getOption<Sockbuf*>(ld_.get(), LDAP_OPT_SOCKBUF);
    int bufferSize = readAheadBytes;
    if (!socket || ber_sockbuf_add_io(socket, &ber_sockbuf_io_readahead, LBER_SBIOD_LEVEL_PROVIDER, &bufferSize) != 0)
        failSetup("ber_sockbuf_add_io", LBER_SBIOD_LEVEL_PROVIDER);
}

bool Connection::isAlive() const
{
    if (broken_ || !ld_)
        return false;
    int fd = -1;
    if (ldap_get_option(ld_.get(), LDAP_OPT_DESC, &fd) != LDAP_OPT_SUCCESS || fd < 0)
        return false;
    // Between operations nothing is owed to us: a readable socket means EOF or a notice of
    // disconnection, so the connection is gone.
    pollfd entry { fd, POLLIN | POLLRDHUP, 0 };
    const int ready = ::poll(&entry, 1, 0);
    return ready == 0;
}

void Connection::failWith(int resultCode, const QString& diagnostic)
{
    if (resultCode == LDAP_SERVER_DOWN || resultCode == LDAP_CONNECT_ERROR || resultCode == LDAP_TIMEOUT)
        broken_ = true;
    throw errorFromLdap(resultCode, diagnostic);
}

void Connection::failFromSession()
{
    failWith(sessionResultCode(ld_.get(), LDAP_OTHER),
        QString::fromUtf8(stringOption(ld_.get(), LDAP_OPT_DIAGNOSTIC_MESSAGE)));
}

int Connection::startSearch(
    const QString& base, int scope, const QString& filter, const QStringList& attributes, LDAPControl** serverControls)
{
    CStringArray names(attributes);
    int msgid = -1;
    const int rc = ldap_search_ext(ld_.get(), base.toUtf8().constData(), scope, filter.toUtf8().constData(),
        names.data(), 0, serverControls, nullptr, nullptr, 0, &msgid);
    if (rc != LDAP_SUCCESS)
        failFromSession();
    return msgid;
}

timespec Connection::answerDeadline()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    now.tv_sec += answerTimeout().tv_sec;
    return now;
}

ldap::MessagePtr Connection::waitFor(int msgid, int all, const timespec& deadline)
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const qint64 leftMicroseconds
        = (qint64(deadline.tv_sec) - now.tv_sec) * 1000000 + (qint64(deadline.tv_nsec) - now.tv_nsec) / 1000;
    LDAPMessage* raw = nullptr;
    int type = 0;
    // Nothing left: no wait at all (a zero timeout would be a poll that still takes a message).
    if (leftMicroseconds > 0) {
        timeval timeout { time_t(leftMicroseconds / 1000000), suseconds_t(leftMicroseconds % 1000000) };
        errno = 0;
        type = ldap_result(ld_.get(), msgid, all, &timeout, &raw);
    }
    ldap::MessagePtr message(raw);
    if (type < 0 && errno == ERANGE) {
        // libldap refused a message over maxMessageBytes and dropped the connection.
        broken_ = true;
        throw protocolError(
            QStringLiteral("サーバーの応答が大きすぎます (1 件 %1 MB まで)。").arg(maxMessageBytes / (1024 * 1024)));
    }
    if (type == 0) {
        ldap_abandon_ext(ld_.get(), msgid, nullptr, nullptr);
        // An unanswered request leaves the session in an unknown state: never reuse it.
        broken_ = true;
        throw errorFromLdap(LDAP_TIMEOUT);
    }
    // libldap's own failure (a lost or reset connection, a notice of disconnection, a message it
    // cannot decode) leaves the session unusable, even while the socket still looks open.
    if (type < 0) {
        broken_ = true;
        failFromSession();
    }
    return message;
}

void Connection::checkResult(LDAPMessage* message, LDAPControl*** serverControls)
{
    int code = LDAP_OTHER;
    char* diagnostic = nullptr;
    const int rc = ldap_parse_result(ld_.get(), message, &code, nullptr, &diagnostic, nullptr, serverControls, 0);
    ldap::CharPtr diagnosticOwner(diagnostic);
    if (rc != LDAP_SUCCESS)
        failWith(rc);
    if (code != LDAP_SUCCESS)
        failWith(code, QString::fromUtf8(diagnostic));
}

LdapEntry Connection::entryFrom(LDAPMessage* message)
{
    LdapEntry entry;
    LDAP* ld = ld_.get();
    // The DN, names and values are read in place from the message (no copy per attribute by
    // libldap): a listing decodes 100,000 entries.
    BerElement* rawBer = nullptr;
    berval dn { 0, nullptr };
    const int rc = ldap_get_dn_ber(ld, message, &rawBer, &dn);
    ldap::BerPtr ber(rawBer);
    if (rc != LDAP_SUCCESS)
        failWith(rc);
    entry.dn = AttrValue::text(dn.bv_val, static_cast<qsizetype>(dn.bv_len));
    for (;;) {
        berval name { 0, nullptr };
        berval* rawValues = nullptr;
        const int attributeRc = ldap_get_attribute_ber(ld, message, ber.get(), &name, &rawValues);
        const ldap::BerArrayPtr values(rawValues);
        // An entry that cannot be decoded to its end is an error, not an entry with fewer attributes.
        if (attributeRc != LDAP_SUCCESS)
            failWith(attributeRc);
        if (!name.bv_val)
            break;
        // Names and classes repeat in every entry: shared, not allocated again (a listing of
        // 100,000 made six allocations per entry for them).
        thread_local RepeatedTexts repeated;
        const QString key = repeated.lowerName(name.bv_val, static_cast<qsizetype>(name.bv_len));
        const bool shareValues = RepeatedTexts::valuesRepeat(key);
        QList<QByteArray>& target = entry.attributes[key];
        qsizetype count = 0;
        for (const berval* value = values.get(); value && value->bv_val; ++value)
            ++count;
        target.reserve(target.size() + count);
        for (const berval* value = values.get(); value && value->bv_val; ++value) {
            const auto size = static_cast<qsizetype>(value->bv_len);
            target.append(shareValues ? repeated.value(value->bv_val, size) : QByteArray(value->bv_val, size));
        }
    }
    return entry;
}

LdapEntry Connection::readEntry(const QString& dn, const QStringList& attributes)
{
    const int msgid = startSearch(dn, LDAP_SCOPE_BASE, QStringLiteral("(objectClass=*)"), attributes, nullptr);
    ldap::MessagePtr chain = waitFor(msgid, LDAP_MSG_ALL, answerDeadline());
    std::optional<LdapEntry> entry;
    for (LDAPMessage* message = ldap_first_message(ld_.get(), chain.get()); message;
         message = ldap_next_message(ld_.get(), message)) {
        switch (ldap_msgtype(message)) {
        case LDAP_RES_SEARCH_ENTRY:
            entry = entryFrom(message);
            break;
        case LDAP_RES_SEARCH_RESULT:
            checkResult(message);
            break;
        default:
            break;
        }
    }
    if (!entry)
        failWith(LDAP_NO_SUCH_OBJECT);
    return *entry;
}

void Connection::searchChildren(const QString& base, const QString& filter, const QStringList& attributes,
    const std::function<void(std::vector<LdapEntry>&)>& onPage)
{
    searchPaged(base, LDAP_SCOPE_ONELEVEL, filter, attributes, onPage);
}

void Connection::searchSubtree(const QString& base, const QString& filter, const QStringList& attributes,
    const std::function<void(std::vector<LdapEntry>&)>& onPage)
{
    searchPaged(base, LDAP_SCOPE_SUBTREE, filter, attributes, onPage);
}

void Connection::searchPaged(const QString& base, int scope, const QString& filter, const QStringList& attributes,
    const std::function<void(std::vector<LdapEntry>&)>& onPage)
{
    LDAP* ld = ld_.get();
    const auto startPage = [&](const berval* cookie) {
        LDAPControl* rawControl = nullptr;
        const int rc = ldap_create_page_control(
            ld, pageSizeForTesting > 0 ? pageSizeForTesting : pageSize, const_cast<berval*>(cookie), 0, &rawControl);
        if (rc != LDAP_SUCCESS)
            failWith(rc);
        ldap::ControlPtr control(rawControl);
        std::array<LDAPControl*, 2> controls { control.get(), nullptr };
        return startSearch(base, scope, filter, attributes, controls.data());
    };
    int msgid = startPage(nullptr);
    ldap::BervalPtr previousCookie;
    for (int pages = 1;; ++pages) {
        std::vector<LdapEntry> page;
        page.reserve(static_cast<size_t>(pageSizeForTesting > 0 ? pageSizeForTesting : pageSize));
        ldap::BervalPtr cookie;
        bool done = false;
        bool unreadableControl = false;
        // The whole page within one answer time: a server that trickles entries cannot stretch it.
        const timespec deadline = answerDeadline();
        while (!done) {
            ldap::MessagePtr chain = waitFor(msgid, LDAP_MSG_RECEIVED, deadline);
            for (LDAPMessage* message = ldap_first_message(ld, chain.get()); message;
                 message = ldap_next_message(ld, message)) {
                const int type = ldap_msgtype(message);
                if (type == LDAP_RES_SEARCH_ENTRY) {
                    page.push_back(entryFrom(message));
                } else if (type == LDAP_RES_SEARCH_RESULT) {
                    LDAPControl** rawControls = nullptr;
                    // Deliver what this page brought before a failure is raised: nothing is undone.
                    try {
                        checkResult(message, &rawControls);
                    } catch (...) {
                        ldap::ControlsPtr owner(rawControls);
                        if (!page.empty())
                            onPage(page);
                        throw;
                    }
                    ldap::ControlsPtr responseControls(rawControls);
                    LDAPControl* response = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, rawControls, nullptr);
                    if (response) {
                        ber_int_t estimate = 0;
                        berval next { 0, nullptr };
                        // libldap asserts (aborts) on a control without a value, and reads
                        // through a null buffer on an empty one. One it cannot read says nothing
                        // of what is left: an error, not the listing's end.
                        const bool parsed = response->ldctl_value.bv_val && response->ldctl_value.bv_len > 0
                            && ldap_parse_pageresponse_control(ld, response, &estimate, &next) == LDAP_SUCCESS;
                        const ldap::BerCharPtr nextOwner(next.bv_val);
                        if (!parsed) {
                            unreadableControl = true;
                        } else if (next.bv_len > 0) {
                            cookie.reset(ber_bvdup(&next));
                            if (!cookie)
                                failWith(LDAP_NO_MEMORY);
                        }
                    }
                    done = true;
                }
                // LDAP_RES_SEARCH_REFERENCE: other partitions of Active Directory; never shown.
            }
        }
        if (unreadableControl) {
            if (!page.empty())
                onPage(page);
            throw protocolError(QStringLiteral("ページの続きを示す応答 (paged results) が読めません。"));
        }
        // The next page is asked for before this one is handed over, so that the server prepares
        // it while the caller fills its views. A request that cannot be sent fails after this
        // page is delivered, as it would have before.
        int nextMsgid = -1;
        std::exception_ptr sendFailure;
        if (cookie && cookie->bv_len > 0) {
            // The same cookie again asks for the same page again, for ever.
            const bool repeated = previousCookie && previousCookie->bv_len == cookie->bv_len
                && std::memcmp(previousCookie->bv_val, cookie->bv_val, cookie->bv_len) == 0;
            if (repeated || pages >= maxPages) {
                sendFailure = std::make_exception_ptr(protocolError(repeated
                        ? QStringLiteral("サーバーが同じページの続きを繰り返し返しました (%1 ページ目)。").arg(pages)
                        : QStringLiteral("一覧が %1 ページを超えても終わりません。").arg(maxPages)));
            } else {
                try {
                    nextMsgid = startPage(cookie.get());
                } catch (...) {
                    sendFailure = std::current_exception();
                }
            }
        }
        previousCookie = std::move(cookie);
        struct AbandonUnlessTaken {
            LDAP* ld;
            int msgid;
            ~AbandonUnlessTaken()
            {
                if (msgid >= 0)
                    ldap_abandon_ext(ld, msgid, nullptr, nullptr);
            }
        } abandon { ld, nextMsgid };
        if (!page.empty())
            onPage(page);
        abandon.msgid = -1;
        if (sendFailure)
            std::rethrow_exception(sendFailure);
        if (nextMsgid < 0)
            return;
        msgid = nextMsgid;
    }
}

void Connection::readEntries(const QStringList& dns, const QStringList& attributes, int window,
    const std::function<void(qsizetype, const LdapEntry*, const DirectoryError*)>& onResult)
{
    LDAP* ld = ld_.get();
    const qsizetype count = dns.size();
    std::vector<int> msgids(static_cast<size_t>(count), -1);
    qsizetype sent = 0;
    qsizetype next = 0;
    // Requests still outstanding when this returns early are abandoned, so their answers do not
    // pile up in the session.
    struct AbandonOutstanding {
        LDAP* ld;
        const std::vector<int>& msgids;
        const qsizetype& from;
        const qsizetype& to;
        ~AbandonOutstanding()
        {
            for (qsizetype i = from; i < to; ++i)
                ldap_abandon_ext(ld, msgids[static_cast<size_t>(i)], nullptr, nullptr);
        }
    } abandon { ld, msgids, next, sent };
    for (; next < count; ++next) {
        while (sent < count && sent - next < window) {
            msgids[static_cast<size_t>(sent)]
                = startSearch(dns.at(sent), LDAP_SCOPE_BASE, QStringLiteral("(objectClass=*)"), attributes, nullptr);
            ++sent;
        }
        // libldap queues answers to the other outstanding ids while it waits for this one.
        ldap::MessagePtr chain = waitFor(msgids[static_cast<size_t>(next)], LDAP_MSG_ALL, answerDeadline());
        std::optional<LdapEntry> entry;
        std::optional<DirectoryError> error;
        for (LDAPMessage* message = ldap_first_message(ld, chain.get()); message;
             message = ldap_next_message(ld, message)) {
            const int type = ldap_msgtype(message);
            if (type == LDAP_RES_SEARCH_ENTRY) {
                entry = entryFrom(message);
            } else if (type == LDAP_RES_SEARCH_RESULT) {
                int code = LDAP_OTHER;
                char* diagnostic = nullptr;
                const int rc = ldap_parse_result(ld, message, &code, nullptr, &diagnostic, nullptr, nullptr, 0);
                ldap::CharPtr owner(diagnostic);
                if (rc != LDAP_SUCCESS)
                    failWith(rc);
                if (code != LDAP_SUCCESS)
                    error = errorFromLdap(code, QString::fromUtf8(diagnostic));
            }
        }
        if (!entry && !error)
            error = errorFromLdap(LDAP_NO_SUCH_OBJECT);
        if (error)
            onResult(next, nullptr, &*error);
        else
            onResult(next, &*entry, nullptr);
    }
}

} // namespace directory
