#pragma once

// RAII owners for every libldap allocation (and the resolver's, beside them). Internal to
// src/directory: <ldap.h> stays out of the public headers.

#include <ldap.h>

#include <memory>
#include <utility>

namespace directory::ldap {

struct UnbindLdap {
    void operator()(LDAP* ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }
};
struct FreeMessage {
    void operator()(LDAPMessage* message) const { ldap_msgfree(message); }
};
struct FreeBer {
    void operator()(BerElement* ber) const { ber_free(ber, 0); }
};
struct FreeBerval {
    void operator()(berval* value) const { ber_bvfree(value); }
};
struct FreeValues {
    void operator()(berval** values) const { ldap_value_free_len(values); }
};
struct FreeBerMemory {
    void operator()(void* memory) const { ber_memfree(memory); }
};
struct FreeDn {
    void operator()(LDAPDN dn) const { ldap_dnfree(dn); }
};
struct FreeLdapMemory {
    void operator()(void* memory) const { ldap_memfree(memory); }
};
struct FreeControl {
    void operator()(LDAPControl* control) const { ldap_control_free(control); }
};
struct FreeControls {
    void operator()(LDAPControl** controls) const { ldap_controls_free(controls); }
};
struct FreeUrlDesc {
    void operator()(LDAPURLDesc* url) const { ldap_free_urldesc(url); }
};

using LdapPtr = std::unique_ptr<LDAP, UnbindLdap>;
using MessagePtr = std::unique_ptr<LDAPMessage, FreeMessage>;
using BerPtr = std::unique_ptr<BerElement, FreeBer>;
using BervalPtr = std::unique_ptr<berval, FreeBerval>;
using ValuesPtr = std::unique_ptr<berval*, FreeValues>;
// The array of values that ldap_get_attribute_ber gives (the values point into the message).
using BerArrayPtr = std::unique_ptr<berval, FreeBerMemory>;
using BerCharPtr = std::unique_ptr<char, FreeBerMemory>;
using DnPtr = std::unique_ptr<LDAPRDN, FreeDn>;
using CharPtr = std::unique_ptr<char, FreeLdapMemory>;
using ControlPtr = std::unique_ptr<LDAPControl, FreeControl>;
using ControlsPtr = std::unique_ptr<LDAPControl*, FreeControls>;
using UrlDescPtr = std::unique_ptr<LDAPURLDesc, FreeUrlDesc>;

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
