#include "platform/ProcessHardening.h"

#include <sys/prctl.h>
#include <cstring>

namespace ProcessHardening {

void apply()
{
    if (!kUnderLeakCheck) ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

bool isApplied()
{
    return ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 0;
}

void wipe(QString& secret)
{
    // Written through the shared buffer on purpose: detaching first would copy the secret and wipe
    // only the copy. Text typed by the user is never static data, so the buffer is writable.
    if (!secret.isEmpty() && secret.data_ptr()->isMutable())
        std::memset(static_cast<void*>(const_cast<QChar*>(secret.constData())), 0,
                    size_t(secret.size()) * sizeof(QChar));
    secret = QString();
}

void wipe(QByteArray& secret)
{
    if (!secret.isEmpty() && secret.data_ptr()->isMutable())
        std::memset(const_cast<char*>(secret.constData()), 0, size_t(secret.size()));
    secret = QByteArray();
}

}  // namespace ProcessHardening
