#include "directory/Search.h"

#include "directory/Connection.h"
#include "directory/LdapErrors.h"
#include "directory/PagedSearch.h"

#include <optional>

namespace directory {

namespace {
const QString anyObject = QStringLiteral("(objectClass=*)");
} // namespace

LdapEntry readEntry(Connection& connection, const QString& dn, const QStringList& attributes)
{
    const int msgid = sendSearch(connection, dn, LDAP_SCOPE_BASE, anyObject, attributes);
    std::optional<LdapEntry> entry;
    const SearchResult result = takeAnswer(connection, msgid, [&entry](LdapEntry&& read) { entry = std::move(read); });
    checkResult(connection, result);
    if (!entry)
        connection.failWith(LDAP_NO_SUCH_OBJECT);
    return std::move(*entry);
}

void searchChildren(Connection& connection, const QString& base, const QString& filter, const QStringList& attributes,
    const std::function<void(std::vector<LdapEntry>&)>& onPage)
{
    PagedSearch(connection, base, LDAP_SCOPE_ONELEVEL, filter, attributes).run(onPage);
}

void searchSubtree(Connection& connection, const QString& base, const QString& filter, const QStringList& attributes,
    const std::function<void(std::vector<LdapEntry>&)>& onPage)
{
    PagedSearch(connection, base, LDAP_SCOPE_SUBTREE, filter, attributes).run(onPage);
}

void readEntries(Connection& connection, const QStringList& dns, const QStringList& attributes, int window,
    const std::function<void(qsizetype, const LdapEntry*, const DirectoryError*)>& onResult)
{
    const qsizetype count = dns.size();
    // Requests still outstanding when this returns early are abandoned.
    std::vector<ldap::Request> requests(static_cast<size_t>(count));
    qsizetype sent = 0;
    for (qsizetype next = 0; next < count; ++next) {
        for (; sent < count && sent - next < window; ++sent)
            requests[static_cast<size_t>(sent)] = ldap::Request(
                connection.handle(), sendSearch(connection, dns.at(sent), LDAP_SCOPE_BASE, anyObject, attributes));
        ldap::Request& request = requests[static_cast<size_t>(next)];
        // libldap queues answers to the other outstanding ids while it waits for this one.
        std::optional<LdapEntry> entry;
        const SearchResult result
            = takeAnswer(connection, request.id(), [&entry](LdapEntry&& read) { entry = std::move(read); });
        std::optional<DirectoryError> error;
        // A result libldap cannot read fails the session, and with it every read.
        if (!result.parsed)
            checkResult(connection, result);
        if (!result.succeeded())
            error = errorFromLdap(result.code, result.diagnostic);
        else if (!entry)
            error = errorFromLdap(LDAP_NO_SUCH_OBJECT);
        if (error)
            onResult(next, nullptr, &*error);
        else
            onResult(next, &*entry, nullptr);
        request.take();
    }
}

QString escapeFilterValue(const QString& value)
{
    QByteArray escaped;
    for (const char c : value.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '*' || c == '(' || c == ')' || c == '\\' || byte == 0)
            escaped.append('\\').append(QByteArray::number(byte, 16).rightJustified(2, '0'));
        else
            escaped.append(c);
    }
    return QString::fromUtf8(escaped);
}

} // namespace directory
