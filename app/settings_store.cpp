#include "app/settings_store.h"

#include "app/system.h"

namespace sublumen {

// FIXME: the settings store is not written yet; every run starts from the defaults.
int loadSettings(System&)
{
    return -1;
}

int saveSettings(System&)
{
    return -1;
}

}
