#include "directory/PagedSearch.h"

#include "directory/Connection.h"
#include "directory/LdapErrors.h"

#include <array>
#include <cstring>
#include <utility>

namespace directory {

namespace {

void deliver(const PagedSearch::PageHandler& onPage, std::vector<LdapEntry>& page)
{
    if (!page.empty())
        onPage(page);
}

[[noreturn]] void badAnswer(Connection& connection, const QString& what)
{
    connection.fail(FailedIn::Answer, { LDAP_PROTOCOL_ERROR, what });
}

bool sameCookie(const berval& a, const berval& b)
{
    return a.bv_len == b.bv_len && std::memcmp(a.bv_val, b.bv_val, a.bv_len) == 0;
}

} // namespace

PagedSearch::PagedSearch(Connection& connection, QString base, int scope, QString filter, QStringList attributes)
    : connection_(connection)
    , base_(std::move(base))
    , scope_(scope)
    , filter_(std::move(filter))
    , attributes_(std::move(attributes))
{ }

int PagedSearch::askPage(const berval* cookie)
{
    LDAPControl* rawControl = nullptr;
    const int rc = ldap_create_page_control(
        connection_.handle(), connection_.options().pageSize, const_cast<berval*>(cookie), 0, &rawControl);
    if (rc != LDAP_SUCCESS)
        connection_.fail(FailedIn::Request, { rc, {} });
    const ldap::ControlPtr control(rawControl);
    std::array<LDAPControl*, 2> controls { control.get(), nullptr };
    return sendSearch(connection_, base_, scope_, filter_, attributes_, controls.data());
}

ldap::BervalPtr PagedSearch::cookieOf(const SearchResult& result)
{
    LDAPControl* response = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, result.controls.get(), nullptr);
    if (!response)
        return {};
    ber_int_t estimate = 0;
    berval next { 0, nullptr };
    // libldap asserts (aborts) on a control without a value, and reads through a null buffer on
    // an empty one. One it cannot read says nothing of what is left: an error, not the end.
    const bool parsed = response->ldctl_value.bv_val && response->ldctl_value.bv_len > 0
        && ldap_parse_pageresponse_control(connection_.handle(), response, &estimate, &next) == LDAP_SUCCESS;
    const ldap::BerCharPtr nextOwner(next.bv_val);
    if (!parsed)
        badAnswer(connection_, QStringLiteral("ページの続きを示す応答 (paged results) が読めません。"));
    if (next.bv_len == 0)
        return {};
    ldap::BervalPtr cookie(ber_bvdup(&next));
    if (!cookie)
        connection_.fail(FailedIn::Request, { LDAP_NO_MEMORY, {} });
    return cookie;
}

void PagedSearch::run(const PageHandler& onPage)
{
    int msgid = askPage(nullptr);
    ldap::BervalPtr previousCookie;
    const int pageSize = connection_.options().pageSize;
    for (int pages = 1;; ++pages) {
        std::vector<LdapEntry> page;
        page.reserve(static_cast<size_t>(pageSize));
        const SearchResult result = takeAnswer(connection_, msgid, [&](LdapEntry&& entry) {
            if (std::ssize(page) >= pageSize)
                refuseMore(connection_, QStringLiteral("1 ページに要求した %1 件を超える項目").arg(pageSize));
            bytes_ += entry.bytes;
            if (bytes_ > maxAnswerBytes)
                refuseMore(
                    connection_, QStringLiteral("1 回の検索で合計 %1 を超える項目").arg(megabytes(maxAnswerBytes)));
            page.push_back(std::move(entry));
        });
        // The next page is asked for before this one is handed over, so that the server prepares
        // it while the caller fills its views.
        ldap::Request next;
        try {
            checkResult(connection_, result);
            ldap::BervalPtr cookie = cookieOf(result);
            if (cookie) {
                // The same cookie again asks for the same page again, for ever.
                if (previousCookie && sameCookie(*previousCookie, *cookie))
                    badAnswer(connection_,
                        QStringLiteral("サーバーが同じページの続きを繰り返し返しました (%1 ページ目)。").arg(pages));
                if (pages >= maxPages)
                    badAnswer(connection_, QStringLiteral("一覧が %1 ページを超えても終わりません。").arg(maxPages));
                next = ldap::Request(connection_.handle(), askPage(cookie.get()));
            }
            previousCookie = std::move(cookie);
        } catch (...) {
            deliver(onPage, page);
            throw;
        }
        deliver(onPage, page);
        if (!next.pending())
            return;
        msgid = next.take();
    }
}

} // namespace directory
