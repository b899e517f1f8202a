#pragma once

#include <QString>
#include <functional>

// What the hidden probe buttons Command1 ... Command8 of the main window do; the window shows
// the results (and reads its own columns for Command6). Each probe stops at the step that
// fails; nothing is reported and nothing is undone.
namespace probes {

// Command1: binds the domain by its DNS name, shows its Name, then its whenCreated as a date.
void showDomain(const std::function<void(const QString&)>& show);

// Command2: binds the domain root by DN, then by DNS name, and reads the names of its children.
void enumerateDomain();

// Command3: opens the domain root as the fixed account through the "LDAP:" namespace and reads
// the names of its children.
void enumerateDomainAsAdministrator();

// Command4: asks the WMI stand-in for this machine's operating system.
void queryOperatingSystem();

// Command5: lists this machine's user accounts through the WinNT stand-in.
void listLocalUsers();

// Command7: USERNAME of section Data of larchfen.ini in the settings folder, "ERROR" when unset.
QString storedUserName();

// Command8: writes hoge=hoge into section hoge of that file; a refused write is ignored.
void writeHoge();

} // namespace probes
