#include "shell/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares the registration function where it is used, so it must not be
// expanded inside a namespace.
static void registerLogo()
{
    Q_INIT_RESOURCE(logo);
}

namespace shell {

void initResources()
{
    static const bool registered = (registerLogo(), true);
    (void)registered;
}

} // namespace shell
