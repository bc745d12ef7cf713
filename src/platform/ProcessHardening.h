#pragma once

#include <QByteArray>
#include <QString>

// Keeping revealed notes and the typed password away from the user's other processes.
namespace ProcessHardening {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kUnderLeakCheck = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kUnderLeakCheck = true;
#else
inline constexpr bool kUnderLeakCheck = false;
#endif
#else
inline constexpr bool kUnderLeakCheck = false;
#endif

// Makes the process non-dumpable: other processes of the same user can no longer attach a debugger
// to it or read its memory through /proc, and it leaves no core dump (which would hold revealed
// notes). Call once, early in main(). Not in sanitizer builds: their leak check at exit attaches to
// the process, which a non-dumpable process forbids.
void apply();
// Whether apply() took effect in this process.
bool isApplied();

// Overwrites a secret's characters in place: every implicitly shared copy of the text is wiped with
// it. The variable is left empty.
void wipe(QString& secret);
void wipe(QByteArray& secret);

}  // namespace ProcessHardening
