#pragma once
#include <windows.h>

// Which program may take the place of another. Whatever replaces the installed copy is what every user
// of the machine runs next, and it arrives over plain HTTP: a program signed with Authenticode accepts
// as its successor only a file of its own publisher, judged by the platform the way it judges programs.

// True when the file is a program that carries an Authenticode signature block, whether or not that
// signature holds. A file that exists but cannot be read counts as signed, so the rule fails closed.
bool CarriesSignature(const char* path);

// True when the candidate's signature verifies over the whole file, its signer's chain reaches a root
// the machine trusts for code signing, and that signer's subject name equals the subject name of the
// reference's signer. Runs without UI and without network fetches.
// The candidate is read through its handle, the file held open at that path.
bool IsSignedBySamePublisher(const char* candidatePath, HANDLE candidate, const char* reference);

// The rule for the update and the self-installation: an unsigned current program is replaced as
// before; a signed one only by a candidate of the same trusted publisher.
bool MayReplace(const char* current, const char* candidatePath, HANDLE candidate);
