#include "directory/MessageLoop.h"

#include "directory/Connection.h"
#include "directory/LdapErrors.h"
#include "directory/RepeatedTexts.h"

#include <cerrno>
#include <ctime>
#include <vector>

namespace directory {

namespace {

// The attribute names of a request as libldap wants them: a null-terminated array, or null for
// all attributes.
class CStringArray {
public:
    explicit CStringArray(const QStringList& texts)
    {
        for (const QString& text : texts)
            storage_.append(text.toUtf8());
        for (QByteArray& bytes : storage_)
            pointers_.push_back(bytes.data());
        pointers_.push_back(nullptr);
    }
    char** data() { return pointers_.size() > 1 ? pointers_.data() : nullptr; }

private:
    QList<QByteArray> storage_;
    std::vector<char*> pointers_;
};

timespec answerDeadline(const Connection& connection)
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    now.tv_sec += connection.options().answerTimeoutSeconds;
    return now;
}

// What has come of the answer to msgid (`all` as ldap_result takes it), waiting until `deadline`
// (a CLOCK_MONOTONIC time): libldap's own timeout starts again at every call, and the messages
// come a few at a time.
ldap::MessagePtr waitFor(Connection& connection, int msgid, int all, const timespec& deadline)
{
    LDAP* ld = connection.handle();
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
        type = ldap_result(ld, msgid, all, &timeout, &raw);
    }
    ldap::MessagePtr message(raw);
    // libldap refused a message over maxMessageBytes and dropped the connection.
    if (type < 0 && errno == ERANGE)
        connection.fail(FailedIn::Bound,
            { LDAP_PROTOCOL_ERROR,
                QStringLiteral("サーバーの応答が大きすぎます (1 件 %1 MB まで)。")
                    .arg(Connection::maxMessageBytes / (1024 * 1024)) });
    if (type == 0) {
        if (msgid != LDAP_RES_ANY)
            ldap_abandon_ext(ld, msgid, nullptr, nullptr);
        connection.fail(FailedIn::Wait, { LDAP_TIMEOUT, {} });
    }
    // libldap's own failure (a lost or reset connection, a notice of disconnection, a message it
    // cannot decode), even while the socket still looks open.
    if (type < 0)
        connection.fail(FailedIn::Wait, connection.lastFailure(LDAP_OTHER));
    return message;
}

LdapEntry entryFrom(Connection& connection, LDAPMessage* message)
{
    LdapEntry entry;
    LDAP* ld = connection.handle();
    // The DN, names and values are read in place from the message: libldap copies none of them.
    BerElement* rawBer = nullptr;
    berval dn { 0, nullptr };
    const int rc = ldap_get_dn_ber(ld, message, &rawBer, &dn);
    ldap::BerPtr ber(rawBer);
    if (rc != LDAP_SUCCESS)
        connection.fail(FailedIn::Request, { rc, {} });
    entry.dn = AttrValue::text(dn.bv_val, static_cast<qsizetype>(dn.bv_len));
    entry.bytes = static_cast<qint64>(dn.bv_len);
    for (;;) {
        berval name { 0, nullptr };
        berval* rawValues = nullptr;
        const int attributeRc = ldap_get_attribute_ber(ld, message, ber.get(), &name, &rawValues);
        const ldap::BerArrayPtr values(rawValues);
        // An entry that cannot be decoded to its end is an error, not an entry with fewer attributes.
        if (attributeRc != LDAP_SUCCESS)
            connection.fail(FailedIn::Request, { attributeRc, {} });
        if (!name.bv_val)
            break;
        // Kept from entry to entry and listing to listing; one per thread, so it needs no lock.
        thread_local RepeatedTexts repeated;
        const QString key = repeated.lowerName(name.bv_val, static_cast<qsizetype>(name.bv_len));
        const bool shareValues = RepeatedTexts::valuesRepeat(key);
        QList<QByteArray>& target = entry.attributes[key];
        qsizetype count = 0;
        entry.bytes += static_cast<qint64>(name.bv_len);
        for (const berval* value = values.get(); value && value->bv_val; ++value) {
            ++count;
            entry.bytes += static_cast<qint64>(value->bv_len);
        }
        target.reserve(target.size() + count);
        for (const berval* value = values.get(); value && value->bv_val; ++value) {
            const auto size = static_cast<qsizetype>(value->bv_len);
            target.append(shareValues ? repeated.value(value->bv_val, size) : QByteArray(value->bv_val, size));
        }
    }
    return entry;
}

SearchResult resultFrom(const Connection& connection, LDAPMessage* message)
{
    SearchResult result;
    char* diagnostic = nullptr;
    LDAPControl** controls = nullptr;
    const int rc
        = ldap_parse_result(connection.handle(), message, &result.code, nullptr, &diagnostic, nullptr, &controls, 0);
    const ldap::CharPtr diagnosticOwner(diagnostic);
    result.controls.reset(controls);
    if (rc != LDAP_SUCCESS) {
        result.code = rc;
        result.parsed = false;
    } else {
        result.diagnostic = QString::fromUtf8(diagnostic);
    }
    return result;
}

} // namespace

int sendSearch(Connection& connection, const QString& base, int scope, const QString& filter,
    const QStringList& attributes, LDAPControl** serverControls)
{
    CStringArray names(attributes);
    int msgid = -1;
    const int rc = ldap_search_ext(connection.handle(), base.toUtf8().constData(), scope, filter.toUtf8().constData(),
        names.data(), 0, serverControls, nullptr, nullptr, 0, &msgid);
    if (rc != LDAP_SUCCESS)
        connection.fail(FailedIn::Request, connection.lastFailure(rc));
    return msgid;
}

SearchResult takeAnswer(Connection& connection, int msgid, const std::function<void(LdapEntry&&)>& onEntry)
{
    LDAP* ld = connection.handle();
    const timespec deadline = answerDeadline(connection);
    for (;;) {
        const ldap::MessagePtr chain = waitFor(connection, msgid, LDAP_MSG_RECEIVED, deadline);
        for (LDAPMessage* message = ldap_first_message(ld, chain.get()); message;
             message = ldap_next_message(ld, message)) {
            switch (ldap_msgtype(message)) {
            case LDAP_RES_SEARCH_ENTRY:
                onEntry(entryFrom(connection, message));
                break;
            case LDAP_RES_SEARCH_REFERENCE:
                // Other partitions of Active Directory (DomainDnsZones, ...): never followed, never shown.
                break;
            case LDAP_RES_SEARCH_RESULT:
                return resultFrom(connection, message);
            default:
                break;
            }
        }
    }
}

void takeAnyAnswers(Connection& connection, const std::function<bool()>& done,
    const std::function<void(int, LdapEntry&&)>& onEntry, const std::function<void(int, SearchResult&&)>& onResult)
{
    const timespec deadline = answerDeadline(connection);
    while (!done()) {
        // One message a call: with LDAP_MSG_RECEIVED, libldap would read all the socket holds.
        const ldap::MessagePtr message = waitFor(connection, LDAP_RES_ANY, LDAP_MSG_ONE, deadline);
        const int msgid = ldap_msgid(message.get());
        switch (ldap_msgtype(message.get())) {
        case LDAP_RES_SEARCH_ENTRY:
            onEntry(msgid, entryFrom(connection, message.get()));
            break;
        case LDAP_RES_SEARCH_RESULT:
            onResult(msgid, resultFrom(connection, message.get()));
            break;
        case LDAP_RES_EXTENDED:
            // Message id 0: a notice of disconnection, which libldap hands over here instead of
            // failing the call as it does while waiting for one id.
            if (msgid == 0) {
                const SearchResult notice = resultFrom(connection, message.get());
                connection.fail(
                    FailedIn::Wait, { notice.succeeded() ? LDAP_UNAVAILABLE : notice.code, notice.diagnostic });
            }
            break;
        default:
            break;
        }
    }
}

void checkResult(Connection& connection, const SearchResult& result)
{
    if (!result.succeeded())
        connection.fail(FailedIn::Request, { result.code, result.diagnostic });
}

void refuseMore(Connection& connection, const QString& what)
{
    connection.fail(FailedIn::Bound, { LDAP_PROTOCOL_ERROR, tooMuchText(what) });
}

} // namespace directory
