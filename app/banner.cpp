#include "app/settings_store.h"

namespace sublumen {

const char bannerText[] = "Sublumen #37 — a caption-first movie player";

}
