#pragma once

// RAII owners for every libldap allocation. Internal to src/directory: <ldap.h> stays out of the
// public headers.

#include <ldap.h>

#include <memory>
#include <utility>

namespace directory::ldap {

// Frees with `release`, libldap's own function for that allocation.
template <auto release> struct Release {
    template <typename T> void operator()(T* pointer) const { release(pointer); }
};
struct UnbindLdap {
    void operator()(LDAP* ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }
};
struct FreeBer {
    void operator()(BerElement* ber) const { ber_free(ber, 0); }
};

using LdapPtr = std::unique_ptr<LDAP, UnbindLdap>;
using MessagePtr = std::unique_ptr<LDAPMessage, Release<&ldap_msgfree>>;
using BerPtr = std::unique_ptr<BerElement, FreeBer>;
using BervalPtr = std::unique_ptr<berval, Release<&ber_bvfree>>;
using ValuesPtr = std::unique_ptr<berval*, Release<&ldap_value_free_len>>;
// The array of values that ldap_get_attribute_ber gives (the values point into the message).
using BerArrayPtr = std::unique_ptr<berval, Release<&ber_memfree>>;
using BerCharPtr = std::unique_ptr<char, Release<&ber_memfree>>;
using DnPtr = std::unique_ptr<LDAPRDN, Release<&ldap_dnfree>>;
using CharPtr = std::unique_ptr<char, Release<&ldap_memfree>>;
using ControlPtr = std::unique_ptr<LDAPControl, Release<&ldap_control_free>>;
using ControlsPtr = std::unique_ptr<LDAPControl*, Release<&ldap_controls_free>>;
using UrlDescPtr = std::unique_ptr<LDAPURLDesc, Release<&ldap_free_urldesc>>;

// A request sent and not answered yet: abandoned when it goes out of scope unless taken, so that
// its answers do not pile up in the session after a failure.
class Request {
public:
    Request() = default;
    Request(LDAP* ld, int msgid)
        : ld_(ld)
        , msgid_(msgid)
    { }
    Request(Request&& other) noexcept
        : ld_(other.ld_)
        , msgid_(std::exchange(other.msgid_, -1))
    { }
    Request& operator=(Request&& other) noexcept
    {
        std::swap(ld_, other.ld_);
        std::swap(msgid_, other.msgid_);
        return *this;
    }
    ~Request()
    {
        if (msgid_ >= 0)
            ldap_abandon_ext(ld_, msgid_, nullptr, nullptr);
    }

    int id() const { return msgid_; }
    bool pending() const { return msgid_ >= 0; }
    // Its answer is taken, or it is handed on: nothing to abandon.
    int take() { return std::exchange(msgid_, -1); }

private:
    LDAP* ld_ = nullptr;
    int msgid_ = -1;
};

} // namespace directory::ldap
